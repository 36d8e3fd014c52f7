#pragma once

#include <QString>

#include <array>
#include <cstdint>

// The fourteen settings the user chooses, as slider positions, and the texts and totals that
// follow from them. The window and the command-line tool show the same numbers.
namespace ChipSettings {

constexpr int kCount = 14;
constexpr int kPulseCount = 3;
constexpr int kTimingCount = 4 * kPulseCount;

// Which table a timing position selects from: rise and fall share the ramp table.
enum class Table { None, Ramp, On, Off };

struct Setting
{
    const char *name; // the command-line option, without its leading dashes
    int reg; // chip register 1..14 that holds the position
    int minimum;
    int maximum;
    int start; // the position the window starts at
    Table table;
};

// In register order: calibration, current, then rise, on, fall and off of pulses 1 to 3.
// Ranges and start positions are the window's sliders'.
// clang-format off
constexpr std::array<Setting, kCount> settings = { {
    { "calibration", 1, 1, 96, 1, Table::None },
    { "current",     2, 0,  7, 0, Table::None },
    { "rise1",  3, 0, 15, 0, Table::Ramp }, { "on1",  4, 0, 31, 0, Table::On },
    { "fall1",  5, 0, 15, 0, Table::Ramp }, { "off1",  6, 0, 31, 0, Table::Off },
    { "rise2",  7, 0, 15, 0, Table::Ramp }, { "on2",  8, 0, 31, 0, Table::On },
    { "fall2",  9, 0, 15, 0, Table::Ramp }, { "off2", 10, 0, 31, 0, Table::Off },
    { "rise3", 11, 0, 15, 0, Table::Ramp }, { "on3", 12, 0, 31, 0, Table::On },
    { "fall3", 13, 0, 15, 0, Table::Ramp }, { "off3", 14, 0, 31, 0, Table::Off },
} };

// Indices into `settings`, for code that stands for one setting, such as a slider's slot.
enum Index {
    Calibration, Current,
    Rise1, On1, Fall1, Off1,
    Rise2, On2, Fall2, Off2,
    Rise3, On3, Fall3, Off3,
};
// clang-format on
static_assert(Off3 + 1 == kCount);
constexpr int kFirstTiming = Rise1;

// Positions of all fourteen settings, indexed like `settings`.
using Positions = std::array<int, kCount>;
Positions startPositions();

// The register image as the window holds it: registers 1..15 at indices 0..14, one position
// each; only the low byte of each reaches the chip.
using RegisterImage = std::int32_t[15];
// Registers 1..14 at the start positions; register 15 is left alone.
void setDefaults(RegisterImage &chipRegs);
// Registers 1..14 from the positions and register 15 at its fixed value.
void fillImage(RegisterImage &chipRegs, const Positions &positions);
// One setting's position into its register.
void setPosition(RegisterImage &chipRegs, int setting, int position);

// The text beside a setting's slider, which is also what qd7310-ctl prints for it: "500 us"
// below 1 ms, else "1.2 ms"; "2.5 mA" .. "20.0 mA", "error" outside 0..7; "105.6 ms" for a
// timing. A timing position outside its table has no text (a null string): the label keeps what
// it had.
QString labelText(int setting, int position);

// The time in ms that a timing setting's position selects, 0 outside its table.
double selectedTime(int setting, int position);
// The twelve selected times, pulse by pulse: rise, on, fall, off.
std::array<double, kTimingCount> selectedTimes(const Positions &positions);
// A train's length: the times of its first `pulses` pulses, summed in pulse order.
double trainTotal(const std::array<double, kTimingCount> &times, int pulses);
// The status bar's text for a train: its whole milliseconds, truncated.
QString totalText(double totalMs);

} // namespace ChipSettings
