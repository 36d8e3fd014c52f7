#pragma once

#include "usbhid2.h"

// Where a command prints its report. Placement and length differ from command to command and
// are part of the trace's fixed form, so they are stated per command, not derived.
enum class ReportDump { None, BeforeWrite, AfterWrite };

struct BoardCommandLayout
{
    const char *name;
    std::uint8_t code; // report byte 3
    std::uint8_t subFunction; // report byte 8
    int dumpLength; // 8 or 9 bytes, for the report and the answer alike
    ReportDump reportDump;
};

struct BoardTraceValue
{
    const char *label;
    std::uint32_t value;
    bool hex; // "%s %08x" rather than "%s %d"
};

namespace BoardCommand {
// Report bytes common to every command.
constexpr std::uint8_t kReportId = 0x00;
constexpr std::uint8_t kBlockLength = 0x08;
constexpr std::uint8_t kMarker = 0x26;

// Sub-functions of the pin command.
constexpr std::uint8_t kPinDirection = 1;
constexpr std::uint8_t kPinRead = 2;
constexpr std::uint8_t kPinSet = 3;
} // namespace BoardCommand
