#pragma once

#include "emulatedbus.h"
#include "wineboard.h"

#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <thread>
#include <vector>

// Boards emulated inside Wine's own HID stack: each is a root-enumerated device ROOT\QD7310SIM\nnnn
// driven by the test minidriver (driver/), which hands its output reports and string requests to
// a WineBoard of this process. The platform layer meets them through Wine's setupapi.dll, hid.dll
// and hidclass.sys, beside Wine's own HID devices. The driver must be installed in the prefix
// (tst_winebus_install does it once).
//
// A bus starts empty of boards and unplugs its own when it goes; a plug-in takes about two
// seconds. A device's node is its HID interface path.
class EmulatedUsbBus
{
public:
    EmulatedUsbBus();
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus &) = delete;
    EmulatedUsbBus &operator=(const EmulatedUsbBus &) = delete;

    // Null under Wine; otherwise why the bus cannot run.
    static const char *unavailableReason();

    // What the cases shared with the other buses need to know of this one.
    // The links' write time-out: every report crosses a pipe to this process, on a busy machine too.
    static constexpr int kWriteTimeoutMs = 500;
    static constexpr int kAnswerLanguage = 0; // hid.dll names no language for string 244
    // Wine's hidclass ends requests to a removed device with STATUS_DELETE_PENDING.
    static constexpr std::uint32_t kUnpluggedWriteError = 5;
    // The minidriver presents the board as one HID device that takes output reports.
    static bool presents(UsbFunction function) { return function == UsbFunction::Board; }
    // Every HID device present, Wine's own included, in the platform's order.
    QList<ListedDevice> listedDevices() const;

    // Plugs a board in and returns its node once the platform lists it. Each plug-in of this bus
    // is a new device instance, as a new address is on a real bus; only boards can be plugged.
    QString plug(const UsbDeviceProfile &profile);
    // The device disappears; what is still open on it fails.
    void unplug(const QString &devnode);
    // Another program of the tool holds the board: this one opens it, but its claim is refused
    // as in use. Lasts as long as the bus.
    void holdByAnotherProgram(const QString &devnode);

    BoardFirmware &firmware(const QString &devnode);
    // Output reports are held unanswered until the writer cancels them.
    void setStallWrites(const QString &devnode, bool stall);
    // Output reports fail: the driver ends them with an I/O error, as a transfer the board took
    // only in part ends.
    void setFailWrites(const QString &devnode, bool fail);
    // String 244 cannot be read: the driver refuses the request, as a board that gives no answer.
    void setUnreadableAnswers(const QString &devnode, bool unreadable);

    QList<UsbEvent> events() const;
    QList<UsbEvent> events(const QString &devnode) const;
    void clearEvents();

private:
    struct Device
    {
        QString instance;
        std::unique_ptr<WineBoard> board;
    };
    Device &device(const QString &devnode);

    static constexpr int kMaxBoards = 4; // what the driver holds at once
    std::map<QString, Device> mDevices;
    int mNextInstance = 0;
    std::vector<std::thread> mHolders; // one per board held
    void *mRelease = nullptr; // ends the holders
};
