#pragma once

#include "boardfirmware.h"
#include "emulatedbus.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

// USB devices emulated at the kernel interface: sysfs entries and usbfs device nodes in a umockdev
// testbed, whose ioctls are answered here. Boards answer from a BoardFirmware each, so they behave
// exactly like the simulated board. The process must run under umockdev's preload library.
//
// umockdev runs the ioctl handler on a worker thread while the caller waits in its ioctl, so the
// firmware and the fault switches may be touched only while no link call is in progress.
class EmulatedUsbBus
{
public:
    EmulatedUsbBus();
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus &) = delete;
    EmulatedUsbBus &operator=(const EmulatedUsbBus &) = delete;

    static bool preloadActive();

    // What the cases shared with the other buses need to know of this one.
    static constexpr int kWriteTimeoutMs = 50; // the links' write time-out: stalls cost little
    static constexpr int kAnswerLanguage = 0x0407; // string 244 comes in the board's first language
    static constexpr std::uint32_t kUnpluggedWriteError = 1167; // ENODEV: device not connected
    static bool presents(UsbFunction) { return true; }
    // The HID devices plugged in, in the order the platform lists them.
    QList<ListedDevice> listedDevices() const;

    // Plugs a device in behind the ones present and returns its device node. Every plug-in gets a
    // new device address, as on a real bus.
    QString plug(const UsbDeviceProfile &profile);
    // The device disappears: its sysfs entry and node go, and what is still open on it fails with
    // ENODEV, as usbfs does after a disconnect.
    void unplug(const QString &devnode);
    // The node stays listed but cannot be opened by this process.
    void denyAccess(const QString &devnode);
    // Another program holds the board: it has claimed the HID interface through usbfs, so the
    // node opens but every claim of this process is refused with EBUSY.
    void holdByAnotherProgram(const QString &devnode);

    BoardFirmware &firmware(const QString &devnode);
    // Output reports to this device are accepted but never completed.
    void setStallWrites(const QString &devnode, bool stall);
    // Output reports fail: usbfs completes them one byte short of their length.
    void setFailWrites(const QString &devnode, bool fail);
    // String 244 cannot be read: it comes back as a descriptor too short to hold its own header.
    void setUnreadableAnswers(const QString &devnode, bool unreadable);

    QList<UsbEvent> events() const;
    QList<UsbEvent> events(const QString &devnode) const;
    void clearEvents();
    // The interface is bound to its kernel driver and not claimed through usbfs.
    bool ownedByKernelDriver(const QString &devnode) const;

private:
    struct Urb;
    struct Device;

    static int onIoctl(UMockdevIoctlBase *handler, UMockdevIoctlClient *client, void *self);
    static void onConnected(UMockdevIoctlBase *handler, UMockdevIoctlClient *client, void *self);

    bool handle(UMockdevIoctlClient *client);
    void submit(Device &device, UMockdevIoctlClient *client);
    void reap(Device &device, UMockdevIoctlClient *client);
    void discard(Device &device, UMockdevIoctlClient *client);
    void usbfsIoctl(Device &device, UMockdevIoctlClient *client);
    bool answerControl(Device &device, Urb &urb);
    void record(const QString &devnode, UsbEvent::Kind kind, int value = 0,
        const QByteArray &data = {}, int language = 0);

    UMockdevTestbed *mTestbed = nullptr;
    UMockdevIoctlBase *mHandler = nullptr;
    mutable std::mutex mMutex;
    std::map<QString, std::unique_ptr<Device>> mDevices;
    QList<UsbEvent> mEvents;
    int mNextAddress = 2; // 1 is the root hub
};
