#include "chipsettings.h"

#include "chipprogram.h"
#include "timingtables.h"

namespace ChipSettings {

namespace {

const Setting &setting(int index)
{
    return settings[static_cast<std::size_t>(index)];
}

template <std::size_t N> double tableAt(const std::array<double, N> &table, int position)
{
    return (position >= 0 && position < int(N)) ? table[static_cast<std::size_t>(position)] : 0.0;
}

constexpr std::size_t tableSize(Table table)
{
    switch (table) {
    case Table::Ramp:
        return TimingTables::ramp.size();
    case Table::On:
        return TimingTables::on.size();
    case Table::Off:
        return TimingTables::off.size();
    case Table::None:
        break;
    }
    return 0;
}

// A timing slider's range is its table's index range, so every position has a time and a label.
constexpr bool rangesMatchTables()
{
    for (const Setting &s : settings) {
        if (s.table != Table::None
            && (s.minimum != 0 || std::size_t(s.maximum) + 1 != tableSize(s.table)))
            return false;
    }
    return true;
}
static_assert(rangesMatchTables());

} // namespace

Positions startPositions()
{
    Positions positions {};
    for (int i = 0; i < kCount; ++i)
        positions[static_cast<std::size_t>(i)] = setting(i).start;
    return positions;
}

void setDefaults(RegisterImage &chipRegs)
{
    for (int i = 0; i < kCount; ++i)
        setPosition(chipRegs, i, setting(i).start);
}

void fillImage(RegisterImage &chipRegs, const Positions &positions)
{
    for (int i = 0; i < kCount; ++i)
        setPosition(chipRegs, i, positions[static_cast<std::size_t>(i)]);
    chipRegs[ChipProgram::kFixedRegister - 1] = ChipProgram::kFixedValue;
}

void setPosition(RegisterImage &chipRegs, int index, int position)
{
    chipRegs[setting(index).reg - 1] = position;
}

namespace {

QString calibrationText(int position)
{
    const int micros = 100 * position + 400;
    if (micros < 1000)
        return QString::number(double(micros), 'g', 6) + QStringLiteral(" us");
    return QString::number(micros / 1000.0, 'g', 6) + QStringLiteral(" ms");
}

QString currentText(int position)
{
    static const char *const texts[]
        = { "2.5 mA", "5.0 mA", "7.5 mA", "10.0 mA", "12.5 mA", "15.0 mA", "17.5 mA", "20.0 mA" };
    const unsigned index = static_cast<unsigned>(position);
    return index > 7 ? QStringLiteral("error") : QString::fromLatin1(texts[index]);
}

QString timeText(double ms)
{
    return QString::number(ms, 'g', 6) + QStringLiteral(" ms");
}

} // namespace

QString labelText(int index, int position)
{
    const Setting &s = setting(index);
    if (s.table == Table::None)
        return index == Calibration ? calibrationText(position) : currentText(position);
    if (position < s.minimum || position > s.maximum)
        return QString();
    return timeText(selectedTime(index, position));
}

double selectedTime(int index, int position)
{
    switch (setting(index).table) {
    case Table::Ramp:
        return tableAt(TimingTables::ramp, position);
    case Table::On:
        return tableAt(TimingTables::on, position);
    case Table::Off:
        return tableAt(TimingTables::off, position);
    case Table::None:
        break;
    }
    return 0.0;
}

std::array<double, kTimingCount> selectedTimes(const Positions &positions)
{
    std::array<double, kTimingCount> times {};
    for (int i = 0; i < kTimingCount; ++i)
        times[static_cast<std::size_t>(i)]
            = selectedTime(kFirstTiming + i, positions[static_cast<std::size_t>(kFirstTiming + i)]);
    return times;
}

double trainTotal(const std::array<double, kTimingCount> &times, int pulses)
{
    double total = 0.0;
    for (int i = 0; i < 4 * pulses && i < kTimingCount; ++i)
        total += times[static_cast<std::size_t>(i)];
    return total;
}

QString totalText(double totalMs)
{
    return QString::number(int(totalMs)) + QStringLiteral(" ms");
}

} // namespace ChipSettings
