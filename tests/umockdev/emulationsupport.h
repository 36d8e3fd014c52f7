#pragma once

#include "boardfirmware.h"
#include "boardtrace.h"
#include "emulatedusbbus.h"

#include <QByteArray>
#include <QStringList>

#include <linux/capability.h>

#include <cstdint>
#include <cstdio>

// State that makes every command's answer carry data.
void prepareFirmware(BoardFirmware &firmware);

// The device nodes present, in the order libusb itself lists them.
QStringList libusbOrder();

// The trace lines of usb_hid_init for one device it could open.
QByteArray announcement(std::uint16_t vendorId, std::uint16_t productId);

QByteArray traceOf(const BoardTraceCapture &capture);
int countOf(const QList<UsbEvent> &events, UsbEvent::Kind kind);
int openDescriptorCount();
// How many of this process's descriptors are open on the emulated device node.
int openOnNode(const QString &devnode);

// Collects what anything in the process writes to standard error while it lives: libusb logs
// there, and a refused device must not make it speak.
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

// Root bypasses file modes; without CAP_DAC_OVERRIDE on this thread it meets them like any user,
// which is how a node the user may not open looks to the tool. A no-op for other users.
class FileModesEnforced
{
public:
    FileModesEnforced();
    ~FileModesEnforced();
    FileModesEnforced(const FileModesEnforced &) = delete;
    FileModesEnforced &operator=(const FileModesEnforced &) = delete;

private:
    __user_cap_header_struct mHeader { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct mSaved[2] {};
    bool mActive = false;
};
