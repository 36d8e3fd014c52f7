#pragma once

#include "chipprogram.h"
#include "chipsettings.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// A programming button's chip writes, exported for a product's firmware: the register/value pairs
// it sends, in the order it sends them, with the current positions' values. Byte for byte the
// spi_write commands the tool itself sends for that button; the board's own preparation (pins,
// controller) is not the chip's and is not exported.
namespace FirmwareExport {

enum class Format { C, Csv, Json };

// The programming buttons, in the command-line tool's words.
struct Command
{
    const char *words; // "train 3", "change-current", "follow 1", "run-once 2", "reset"
    const char *macro; // "TRAIN_3", "CHANGE_CURRENT", "FOLLOW_1", "RUN_ONCE_2", "RESET"
    const char *button; // the window's button object name, "train3Button"
    const RegisterCopy *copy;
    const char *title; // the button's text, "Train 3 Pulses"
};
// Reset, Follow Mode 1 and 2, Change Current, Train 1, 2 and 3, Run Once 1 and 2.
const std::array<Command, 9> &commands();
// The command whose words are `words` ("train 3"), or nullptr.
const Command *findCommand(const QString &words);

// "c", "csv", "json", or nothing. The file suffix of each format is its name, "h" for C.
std::optional<Format> formatNamed(const QString &name);
QString suffix(Format format);

// One register write: the register and its data byte, as spi_write sends them.
using Write = ChipProgram::RegisterWrite;
// The writes `copy` sends with these positions: its image registers, then its command code to
// register 0.
std::vector<Write> writes(const RegisterCopy &copy, const ChipSettings::Positions &positions);

// What a write means, for the export's comments: "on time, pulse 1: 26.4 ms", "command: train 3".
QString describe(const Write &write, const ChipSettings::Positions &positions);

// The export as a file's bytes. `setupPath` names the setup file the positions came from, or is
// empty; the C and CSV forms name it in their comment.
QByteArray render(Format format, const Command &command, const ChipSettings::Positions &positions,
    const QString &setupPath = QString());

} // namespace FirmwareExport
