#include "emulatedusbbus.h"

#include "boardidentity.h"
#include "hidplatform.h"
#include "winebusdevice.h"

#include <QElapsedTimer>
#include <QThread>

#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <future>
#include <vector>

namespace {

// A bound: the first board comes while Wine's device manager starts, over 10 s on a busy machine.
constexpr int kArrivalTimeoutMs = 30000;

QString ownInstance(const QString &devnode)
{
    // \\?\hid#qd7310sim#0000#{guid}: the minidriver's devices carry the root instance.
    const QStringList parts = devnode.split(QLatin1Char('#'));
    return parts.size() == 4
            && parts.at(1).compare(QLatin1String("qd7310sim"), Qt::CaseInsensitive) == 0
        ? parts.at(2)
        : QString();
}

UsbEvent::Kind kindOf(WineBoard::Event::Kind kind)
{
    switch (kind) {
    case WineBoard::Event::Report:
        return UsbEvent::InterruptOut;
    case WineBoard::Event::StringRequest:
        return UsbEvent::StringRequest;
    case WineBoard::Event::Discarded:
        break;
    }
    return UsbEvent::Discarded;
}

} // namespace

EmulatedUsbBus::EmulatedUsbBus() : mRelease(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    // Whatever an earlier bus or program left plugged in goes first.
    for (int instance = 0; instance < kMaxBoards; ++instance)
        unplugWineBoard(QStringLiteral("%1").arg(instance, 4, 10, QLatin1Char('0')).toStdWString());
}

EmulatedUsbBus::~EmulatedUsbBus()
{
    SetEvent(mRelease);
    for (std::thread &holder : mHolders)
        holder.join();
    CloseHandle(mRelease);
    for (const auto &[node, device] : mDevices)
        unplugWineBoard(device.instance.toStdWString());
}

const char *EmulatedUsbBus::unavailableReason()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version"))
        return nullptr;
    return "the emulated board needs Wine's HID stack: skipped outside Wine";
}

QList<ListedDevice> EmulatedUsbBus::listedDevices() const
{
    QList<ListedDevice> listed;
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    const HDEVINFO set
        = SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return listed;
    SP_DEVICE_INTERFACE_DATA interfaceData {};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, i, &interfaceData); ++i) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
        std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD) + 1);
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(
                set, &interfaceData, detail, required, nullptr, nullptr))
            continue;
        const HANDLE device = CreateFileW(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, OPEN_EXISTING, 0, nullptr);
        HIDD_ATTRIBUTES attributes {};
        attributes.Size = sizeof attributes;
        if (device != INVALID_HANDLE_VALUE) {
            HidD_GetAttributes(device, &attributes);
            CloseHandle(device);
        }
        listed.append({ QString::fromWCharArray(detail->DevicePath), attributes.VendorID,
            attributes.ProductID });
    }
    SetupDiDestroyDeviceInfoList(set);
    return listed;
}

QString EmulatedUsbBus::plug(const UsbDeviceProfile &profile)
{
    if (!presents(profile.function) || profile.vendorId != kBoardVendorId
        || profile.productId != kBoardProductId || mNextInstance == kMaxBoards)
        qFatal("the Wine bus plugs only the board, %d times at most", kMaxBoards);
    const QString instance = QStringLiteral("%1").arg(mNextInstance++, 4, 10, QLatin1Char('0'));
    // The pipe is served before the device arrives, so that it never meets an absent board.
    auto board = std::make_unique<WineBoard>(instance.toStdWString());
    const std::string failed = plugWineBoard(wineBoardInfBesideProgram(), instance.toStdWString());
    if (!failed.empty())
        qFatal("plugging the emulated board %s: %s", qPrintable(instance), failed.c_str());
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kArrivalTimeoutMs) {
        for (const ListedDevice &listed : listedDevices()) {
            if (ownInstance(listed.devnode) == instance) {
                mDevices[listed.devnode] = Device { instance, std::move(board) };
                return listed.devnode;
            }
        }
        QThread::msleep(20);
    }
    qFatal("the emulated board %s did not arrive", qPrintable(instance));
}

void EmulatedUsbBus::unplug(const QString &devnode)
{
    const std::string failed = unplugWineBoard(device(devnode).instance.toStdWString());
    if (!failed.empty())
        qFatal("unplugging the emulated board: %s", failed.c_str());
    QElapsedTimer waited;
    waited.start();
    for (bool listed = true; listed && waited.elapsed() < kArrivalTimeoutMs;) {
        listed = false;
        for (const ListedDevice &device : listedDevices())
            listed = listed || device.devnode == devnode;
        if (listed)
            QThread::msleep(20);
    }
}

void EmulatedUsbBus::holdByAnotherProgram(const QString &devnode)
{
    device(devnode); // only the bus's own boards
    // The platform lists the devices in the order listedDevices() does.
    const QList<ListedDevice> listed = listedDevices();
    int index = 0;
    while (index < listed.size() && listed.at(index).devnode != devnode)
        ++index;
    // Held the way another program of the tool holds it: opened and claimed through the platform
    // layer, on a thread of its own, since the claim belongs to the thread that took it.
    std::promise<HidClaim> holding;
    std::future<HidClaim> held = holding.get_future();
    mHolders.emplace_back([this, index, &holding] {
        const std::unique_ptr<HidPlatform> platform = createSystemHidPlatform();
        HidHandle handle = kInvalidHidHandle;
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        if (index < platform->listDevices())
            handle = platform->open(index);
        platform->releaseDeviceList();
        const bool board = platform->readIds(handle, &vendorId, &productId)
            && vendorId == kBoardVendorId && productId == kBoardProductId;
        holding.set_value(board ? platform->claim(handle) : HidClaim::Failed);
        WaitForSingleObject(mRelease, INFINITE);
    });
    if (held.get() != HidClaim::Claimed)
        qFatal("%s could not be held for another program", qPrintable(devnode));
}

EmulatedUsbBus::Device &EmulatedUsbBus::device(const QString &devnode)
{
    const auto found = mDevices.find(devnode);
    if (found == mDevices.end())
        qFatal("%s is not a board of this bus", qPrintable(devnode));
    return found->second;
}

BoardFirmware &EmulatedUsbBus::firmware(const QString &devnode)
{
    return device(devnode).board->firmware();
}

void EmulatedUsbBus::setStallWrites(const QString &devnode, bool stall)
{
    device(devnode).board->setStallWrites(stall);
}

void EmulatedUsbBus::setFailWrites(const QString &devnode, bool fail)
{
    device(devnode).board->setFailWrites(fail);
}

void EmulatedUsbBus::setUnreadableAnswers(const QString &devnode, bool unreadable)
{
    device(devnode).board->setRefuseStrings(unreadable);
}

QList<UsbEvent> EmulatedUsbBus::events() const
{
    QList<UsbEvent> all;
    for (const auto &[node, device] : mDevices)
        all += events(node);
    return all;
}

QList<UsbEvent> EmulatedUsbBus::events(const QString &devnode) const
{
    QList<UsbEvent> converted;
    const auto found = mDevices.find(devnode);
    if (found == mDevices.end())
        return converted;
    for (const WineBoard::Event &event : found->second.board->events()) {
        converted.append({ devnode, kindOf(event.kind), event.value, kAnswerLanguage,
            QByteArray(
                reinterpret_cast<const char *>(event.data.data()), qsizetype(event.data.size())) });
    }
    return converted;
}

void EmulatedUsbBus::clearEvents()
{
    for (auto &[node, device] : mDevices)
        device.board->clearEvents();
}
