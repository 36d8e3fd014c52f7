#pragma once

#include "boardfirmware.h"
#include "boardtrace.h"
#include "emulatedusbbus.h"

#include <QByteArray>
#include <QStringList>

#include <linux/capability.h>

#include <cstdint>
#include <cstdio>

// Every suite's first check. ctest preloads umockdev's library, so a suite without it was started
// the wrong way.
#define QD7310_REQUIRE_EMULATED_BUS()                                                              \
    if (!EmulatedUsbBus::preloadActive())                                                          \
    QFAIL("umockdev's preload library is not loaded: run through ctest or umockdev-wrapper")

// The device nodes present, in the order libusb itself lists them.
QStringList libusbOrder();

int openDescriptorCount();
// How many of this process's descriptors are open on the emulated device node.
int openOnNode(const QString &devnode);

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
