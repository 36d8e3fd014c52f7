#pragma once

#include "emulatedbus.h"
#include "emulatedusbbus.h"

// Every suite's first check: outside Wine there is no bus to emulate the board on.
#define QD7310_REQUIRE_EMULATED_BUS()                                                              \
    if (const char *unavailable = EmulatedUsbBus::unavailableReason())                             \
    return QTest::qSkip(unavailable, __FILE__, __LINE__)

// How many handles this process holds. Wine 8 answers GetProcessHandleCount with 0, so under Wine
// the handles are counted in the system's handle table instead.
int processHandleCount();

// A denied device on this bus is one that another program holds, which needs no change of rights.
class FileModesEnforced
{
public:
    FileModesEnforced() { }
    FileModesEnforced(const FileModesEnforced &) = delete;
    FileModesEnforced &operator=(const FileModesEnforced &) = delete;
};
