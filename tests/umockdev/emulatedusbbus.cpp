// glib's headers use "signals" as a name, which Qt's keywords turn into an access specifier.
#include <umockdev.h>

#include "emulatedusbbus.h"
#include "emulationsupport.h"
#include "usbdescriptors.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <dlfcn.h>
#include <deque>
#include <sys/stat.h>

namespace {

constexpr int kAnswerStringIndex = 244;
constexpr int kSetupLength = 8;

struct SetupPacket
{
    int requestType;
    int request;
    int value;
    int index;
    int length;
};

SetupPacket setupOf(const std::uint8_t *bytes)
{
    return { bytes[0], bytes[1], bytes[2] | (bytes[3] << 8), bytes[4] | (bytes[5] << 8),
        bytes[6] | (bytes[7] << 8) };
}

QString testbedDevice(int address, const QString &syspath, const QByteArray &descriptors)
{
    const QString number = QString::number(address).rightJustified(3, QLatin1Char('0'));
    return QStringLiteral("P: %1\nN: bus/usb/001/%2\n"
                          "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
                          "E: BUSNUM=001\nE: DEVNUM=%2\nE: DEVNAME=/dev/bus/usb/001/%2\n"
                          "A: busnum=1\\n\nA: devnum=%3\\n\nA: bConfigurationValue=1\\n\n"
                          "A: speed=12\\n\nH: descriptors=%4\n")
        .arg(syspath, number, QString::number(address), QString::fromLatin1(descriptors.toHex()));
}

} // namespace

// A URB as the client submitted it, resolved together with its buffer so that it can be
// completed later from this side.
struct EmulatedUsbBus::Urb
{
    UMockdevIoctlData *data = nullptr;
    usbdevfs_urb *fields() const { return reinterpret_cast<usbdevfs_urb *>(data->data); }
};

struct EmulatedUsbBus::Device
{
    QString devnode;
    QString syspath;
    UsbDeviceProfile profile;
    BoardFirmware firmware;
    bool gone = false;
    bool stallWrites = false;
    bool shortWrites = false;
    bool headerlessAnswers = false;
    bool driverBound = true; // the HID interface's kernel driver
    bool claimed = false;
    bool claimedElsewhere = false; // by another program's usbfs descriptor
    std::deque<Urb> completed; // to be reaped, in order
    std::deque<Urb> inFlight; // never completed by the device
    std::deque<Urb> discarded;

    ~Device()
    {
        for (auto *queue : { &completed, &inFlight, &discarded })
            for (const Urb &urb : *queue)
                umockdev_ioctl_data_unref(urb.data);
    }
};

EmulatedUsbBus::EmulatedUsbBus()
    : mTestbed(umockdev_testbed_new()), mHandler(umockdev_ioctl_base_new())
{
    g_signal_connect(mHandler, "handle-ioctl", G_CALLBACK(onIoctl), this);
    g_signal_connect(mHandler, "client-connected", G_CALLBACK(onConnected), this);
    umockdev_testbed_add_from_string(mTestbed,
        testbedDevice(
            1, QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1"), rootHubDescriptors())
            .toUtf8()
            .constData(),
        nullptr);
}

EmulatedUsbBus::~EmulatedUsbBus()
{
    g_object_unref(mTestbed); // stops the ioctl worker before the devices go
    g_object_unref(mHandler);
}

bool EmulatedUsbBus::preloadActive()
{
    // Asking the loader is the one test that holds before any testbed exists.
    void *preload = dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD);
    if (preload)
        dlclose(preload);
    return preload != nullptr;
}

QList<ListedDevice> EmulatedUsbBus::listedDevices() const
{
    QList<ListedDevice> listed;
    const QStringList order = libusbOrder();
    std::lock_guard<std::mutex> guard(mMutex);
    for (const QString &node : order) {
        const auto device = mDevices.find(node);
        if (device != mDevices.end()) // the root hub carries no HID interface
            listed.append(
                { node, device->second->profile.vendorId, device->second->profile.productId });
    }
    return listed;
}

QString EmulatedUsbBus::plug(const UsbDeviceProfile &profile)
{
    const int address = mNextAddress++;
    auto device = std::make_unique<Device>();
    device->profile = profile;
    device->devnode = QStringLiteral("/dev/bus/usb/001/%1")
                          .arg(QString::number(address).rightJustified(3, QLatin1Char('0')));
    // Ports 1, 2, ...: the kernel names the device after the port, not the address.
    device->syspath
        = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-%1").arg(mDevices.size() + 1);
    const QString devnode = device->devnode;
    const QString syspath = device->syspath;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mDevices[devnode] = std::move(device);
    }
    // The handler is attached first, so the node answers as soon as it exists.
    umockdev_testbed_attach_ioctl(mTestbed, devnode.toUtf8().constData(), mHandler, nullptr);
    umockdev_testbed_add_from_string(mTestbed,
        testbedDevice(address, syspath, deviceDescriptors(profile)).toUtf8().constData(), nullptr);
    return devnode;
}

void EmulatedUsbBus::unplug(const QString &devnode)
{
    QString syspath;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        Device &device = *mDevices.at(devnode);
        device.gone = true;
        syspath = QStringLiteral("/sys") + device.syspath;
    }
    umockdev_testbed_uevent(mTestbed, syspath.toUtf8().constData(), "remove");
    umockdev_testbed_remove_device(mTestbed, syspath.toUtf8().constData());
}

void EmulatedUsbBus::denyAccess(const QString &devnode)
{
    gchar *root = umockdev_testbed_get_root_dir(mTestbed);
    const QByteArray path = QByteArray(root) + devnode.toUtf8();
    g_free(root);
    ::chmod(path.constData(), 0);
}

void EmulatedUsbBus::holdByAnotherProgram(const QString &devnode)
{
    std::lock_guard<std::mutex> lock(mMutex);
    Device &device = *mDevices.at(devnode);
    device.driverBound = false;
    device.claimedElsewhere = true;
}

BoardFirmware &EmulatedUsbBus::firmware(const QString &devnode)
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mDevices.at(devnode)->firmware;
}

void EmulatedUsbBus::setStallWrites(const QString &devnode, bool stall)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mDevices.at(devnode)->stallWrites = stall;
}

void EmulatedUsbBus::setFailWrites(const QString &devnode, bool fail)
{
    const std::lock_guard<std::mutex> lock(mMutex);
    mDevices.at(devnode)->shortWrites = fail;
}

void EmulatedUsbBus::setUnreadableAnswers(const QString &devnode, bool unreadable)
{
    const std::lock_guard<std::mutex> lock(mMutex);
    mDevices.at(devnode)->headerlessAnswers = unreadable;
}

QList<UsbEvent> EmulatedUsbBus::events() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mEvents;
}

QList<UsbEvent> EmulatedUsbBus::events(const QString &devnode) const
{
    QList<UsbEvent> result;
    for (const UsbEvent &event : events())
        if (event.devnode == devnode)
            result.append(event);
    return result;
}

void EmulatedUsbBus::clearEvents()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mEvents.clear();
}

bool EmulatedUsbBus::ownedByKernelDriver(const QString &devnode) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    const Device &device = *mDevices.at(devnode);
    return device.driverBound && !device.claimed;
}

void EmulatedUsbBus::record(
    const QString &devnode, UsbEvent::Kind kind, int value, const QByteArray &data, int language)
{
    mEvents.append(UsbEvent { devnode, kind, value, language, data });
}

int EmulatedUsbBus::onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self)
{
    return static_cast<EmulatedUsbBus *>(self)->handle(client);
}

void EmulatedUsbBus::onConnected(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self)
{
    auto *bus = static_cast<EmulatedUsbBus *>(self);
    std::lock_guard<std::mutex> lock(bus->mMutex);
    bus->record(
        QString::fromUtf8(umockdev_ioctl_client_get_devnode(client)), UsbEvent::OpenAttempted);
}

bool EmulatedUsbBus::handle(UMockdevIoctlClient *client)
{
    std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mDevices.find(QString::fromUtf8(umockdev_ioctl_client_get_devnode(client)));
    if (found == mDevices.end())
        return false;
    Device &device = *found->second;
    const gulong request = umockdev_ioctl_client_get_request(client);
    // A device that is gone still hands back what completed, then fails everything.
    const bool reaping = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
    if (device.gone && !(reaping && (!device.completed.empty() || !device.discarded.empty()))) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return true;
    }

    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    const auto interfaceArg = [arg]() {
        UMockdevIoctlData *value = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), nullptr);
        const int number = int(*reinterpret_cast<unsigned *>(value->data));
        umockdev_ioctl_data_unref(value);
        return number;
    };
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData *caps
            = umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr);
        *reinterpret_cast<std::uint32_t *>(caps->data) = USBDEVFS_CAP_BULK_CONTINUATION
            | USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT
            | USBDEVFS_CAP_ZERO_PACKET;
        umockdev_ioctl_data_unref(caps);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    case USBDEVFS_CLAIMINTERFACE: {
        const int number = interfaceArg();
        if ((device.driverBound || device.claimedElsewhere)
            && number == hidInterfaceNumber(device.profile.function)) {
            umockdev_ioctl_client_complete(client, -1, EBUSY);
            return true;
        }
        device.claimed = true;
        record(device.devnode, UsbEvent::Claimed, number);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    case USBDEVFS_RELEASEINTERFACE:
        device.claimed = false;
        record(device.devnode, UsbEvent::Released, interfaceArg());
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    case USBDEVFS_DISCONNECT_CLAIM: {
        const int number = interfaceArg();
        if (device.claimedElsewhere && number == hidInterfaceNumber(device.profile.function)) {
            umockdev_ioctl_client_complete(client, -1, EBUSY);
            return true;
        }
        if (device.driverBound)
            record(device.devnode, UsbEvent::DriverDetached, number);
        device.driverBound = false;
        device.claimed = true;
        record(device.devnode, UsbEvent::Claimed, number);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    case USBDEVFS_IOCTL:
        usbfsIoctl(device, client);
        return true;
    case USBDEVFS_SUBMITURB:
        submit(device, client);
        return true;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        reap(device, client);
        return true;
    case USBDEVFS_DISCARDURB:
        discard(device, client);
        return true;
    default:
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return true;
    }
}

// Driver binding by way of USBDEVFS_IOCTL: what auto-detach and re-attach use.
void EmulatedUsbBus::usbfsIoctl(Device &device, UMockdevIoctlClient *client)
{
    UMockdevIoctlData *data = umockdev_ioctl_data_resolve(
        umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_ioctl), nullptr);
    const usbdevfs_ioctl command = *reinterpret_cast<usbdevfs_ioctl *>(data->data);
    umockdev_ioctl_data_unref(data);
    const bool hidInterface = command.ifno == hidInterfaceNumber(device.profile.function);
    if (command.ioctl_code == int(USBDEVFS_DISCONNECT)) {
        if (!hidInterface || !device.driverBound) {
            umockdev_ioctl_client_complete(client, -1, ENODATA);
            return;
        }
        device.driverBound = false;
        record(device.devnode, UsbEvent::DriverDetached, command.ifno);
    } else if (command.ioctl_code == int(USBDEVFS_CONNECT)) {
        if (hidInterface && device.claimed) {
            umockdev_ioctl_client_complete(client, -1, EBUSY);
            return;
        }
        if (hidInterface && !device.driverBound) {
            device.driverBound = true;
            record(device.devnode, UsbEvent::DriverAttached, command.ifno);
        }
    } else {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return;
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbBus::submit(Device &device, UMockdevIoctlClient *client)
{
    Urb urb;
    urb.data = umockdev_ioctl_data_resolve(
        umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_urb), nullptr);
    usbdevfs_urb *fields = urb.fields();
    // Resolving the buffer makes fields->buffer point at a local copy that is written back to
    // the client when the URB is reaped.
    UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(urb.data,
        offsetof(usbdevfs_urb, buffer), std::size_t(std::max(fields->buffer_length, 0)), nullptr);
    umockdev_ioctl_data_unref(buffer);
    auto *bytes = static_cast<std::uint8_t *>(fields->buffer);

    bool accepted = true;
    bool stalled = false;
    if (fields->type == USBDEVFS_URB_TYPE_INTERRUPT && fields->endpoint == 0x02
        && device.profile.function == UsbFunction::Board) {
        stalled = device.stallWrites;
        if (!stalled) {
            const QByteArray wire(reinterpret_cast<const char *>(bytes), fields->buffer_length);
            record(device.devnode, UsbEvent::InterruptOut, 0, wire);
            // The endpoint carries unnumbered reports; the firmware takes them with their zero ID.
            const QByteArray report = QByteArray(1, '\0') + wire;
            device.firmware.handleReport(
                reinterpret_cast<const std::uint8_t *>(report.constData()), int(report.size()));
            fields->actual_length = fields->buffer_length - (device.shortWrites ? 1 : 0);
            fields->status = 0;
        }
    } else if (fields->type == USBDEVFS_URB_TYPE_CONTROL && fields->buffer_length >= kSetupLength) {
        const SetupPacket setup = setupOf(bytes);
        stalled = setup.requestType == 0x21 && setup.request == 0x09 && device.stallWrites;
        if (!stalled && !answerControl(device, urb))
            fields->status = -EPIPE;
    } else {
        accepted = false;
    }
    if (!accepted) {
        umockdev_ioctl_data_unref(urb.data);
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    (stalled ? device.inFlight : device.completed).push_back(urb);
    umockdev_ioctl_client_complete(client, 0, 0);
}

// Answers a control request in place. Returns false for a request the device stalls.
bool EmulatedUsbBus::answerControl(Device &device, Urb &urb)
{
    usbdevfs_urb *fields = urb.fields();
    auto *bytes = static_cast<std::uint8_t *>(fields->buffer);
    const SetupPacket setup = setupOf(bytes);
    std::uint8_t *data = bytes + kSetupLength;
    const int room = std::min(setup.length, fields->buffer_length - kSetupLength);
    fields->actual_length = 0;
    fields->status = 0;

    const bool isBoard = device.profile.function != UsbFunction::Keyboard;
    if (setup.requestType == 0x80 && setup.request == 0x06 && (setup.value >> 8) == 0x03) {
        const int index = setup.value & 0xFF;
        record(device.devnode, UsbEvent::StringRequest, index, {}, setup.index);
        QByteArray descriptor;
        if (index == 0) {
            descriptor = languageDescriptor();
        } else if (index == kAnswerStringIndex && isBoard) {
            const BoardFirmware::Answer &answer = device.firmware.answer();
            descriptor = device.headerlessAnswers
                ? QByteArray("\x01\x03", 2)
                : stringDescriptor(
                    QByteArray(reinterpret_cast<const char *>(answer.data()), int(answer.size())));
        } else {
            return false;
        }
        const int count = std::min(int(descriptor.size()), room);
        std::memcpy(data, descriptor.constData(), std::size_t(count));
        fields->actual_length = count;
        return true;
    }
    if (setup.requestType == 0x21 && setup.request == 0x09 && isBoard
        && setup.index == hidInterfaceNumber(device.profile.function)) {
        const QByteArray wire(reinterpret_cast<const char *>(data), room);
        record(device.devnode, UsbEvent::SetReport, setup.value, wire);
        const QByteArray report = (setup.value & 0xFF) == 0 ? QByteArray(1, '\0') + wire : wire;
        device.firmware.handleReport(
            reinterpret_cast<const std::uint8_t *>(report.constData()), int(report.size()));
        fields->actual_length = room - (device.shortWrites ? 1 : 0);
        return true;
    }
    return false;
}

void EmulatedUsbBus::reap(Device &device, UMockdevIoctlClient *client)
{
    std::deque<Urb> &queue = device.discarded.empty() ? device.completed : device.discarded;
    if (queue.empty()) {
        umockdev_ioctl_client_complete(client, -1, device.gone ? ENODEV : EAGAIN);
        return;
    }
    Urb urb = queue.front();
    queue.pop_front();
    if (&queue == &device.discarded) {
        urb.fields()->status = -ENOENT;
        urb.fields()->actual_length = 0;
    }
    UMockdevIoctlData *target = umockdev_ioctl_data_resolve(
        umockdev_ioctl_client_get_arg(client), 0, sizeof(void *), nullptr);
    umockdev_ioctl_data_set_ptr(target, 0, urb.data);
    umockdev_ioctl_data_unref(target);
    umockdev_ioctl_data_unref(urb.data);
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbBus::discard(Device &device, UMockdevIoctlClient *client)
{
    const gulong address = *reinterpret_cast<gulong *>(umockdev_ioctl_client_get_arg(client)->data);
    for (auto urb = device.inFlight.begin(); urb != device.inFlight.end(); ++urb) {
        if (urb->data->client_addr == address) {
            record(device.devnode, UsbEvent::Discarded, urb->fields()->endpoint);
            device.discarded.push_back(*urb);
            device.inFlight.erase(urb);
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
    }
    umockdev_ioctl_client_complete(client, -1, EINVAL); // already completed
}
