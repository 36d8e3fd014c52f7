#pragma once

#include "boardfirmware.h"
#include "boardtrace.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdio>

// The types that the emulated-bus cases speak in, whichever bus plays the devices: usbfs under
// umockdev on Linux (../umockdev/), or Wine's HID stack on Windows (../winebus/). The cases in this
// folder are written once against either bus's EmulatedUsbBus and emulationsupport.h.

// What a device on the emulated bus presents to the host.
enum class UsbFunction {
    Board, // HID interface with an interrupt IN and an interrupt OUT endpoint
    BoardWithoutOutEndpoint, // HID interface with only an IN endpoint: reports go by SET_REPORT
    Keyboard, // HID boot keyboard, IN endpoint only
};

struct UsbDeviceProfile
{
    UsbFunction function = UsbFunction::Board;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// Something the host did to a device node, as the kernel would have seen it.
struct UsbEvent
{
    enum Kind {
        // umockdev connects the node's ioctl channel on its own thread, even for an open that
        // then fails: proof that an open was tried, never that it succeeded, and it may lag.
        OpenAttempted,
        DriverDetached,
        Claimed,
        Released,
        DriverAttached,
        InterruptOut, // data: the bytes on the wire
        SetReport, // value: wValue; data: the bytes on the wire
        StringRequest, // value: descriptor index; language: wIndex
        Discarded, // a URB the device never completed was cancelled
    };
    QString devnode;
    Kind kind;
    int value = 0;
    int language = 0;
    QByteArray data;
};

// A HID interface the platform lists, as the bus knows it: its device node (an opaque name the
// bus gave it) and its IDs.
struct ListedDevice
{
    QString devnode;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// State that makes every command's answer carry data.
void prepareFirmware(BoardFirmware &firmware);

// The trace lines of usb_hid_init for one device it could open.
QByteArray announcement(std::uint16_t vendorId, std::uint16_t productId);
// The whole trace of a search over these devices: each is announced, up to the first board that
// is not the one in use by another program.
QByteArray searchTrace(const QList<ListedDevice> &devices, const QString &inUse = {});

// What the search says on the debug channel of a board it may not open, and of one that another
// program holds.
QByteArray unopenableBoardMessage();
QByteArray boardInUseMessage();

QByteArray traceOf(const BoardTraceCapture &capture);
int countOf(const QList<UsbEvent> &events, UsbEvent::Kind kind);

// Collects what anything in the process writes to standard error while it lives: the platform's
// library may log there, and a refused device must not make it speak.
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    QByteArray text() const;

private:
    std::FILE *mFile = nullptr;
    int mSaved = -1;
};
