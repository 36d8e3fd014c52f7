#pragma once

#include "chipsettings.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

// The command-line tool's commands as a table, and the parsing of one command (with the slider
// settings given beside it) into a request that is checked whole before anything is sent.
namespace Ctl {

enum class Kind {
    InitController,
    SpiWrite,
    SpiRead,
    I2cWrite,
    I2cRead,
    Measure,
    PinRead,
    PinDir,
    PinSet,
    Status,
    Prepare,
    Train,
    ChangeCurrent,
    Reset,
    Follow,
    Run,
    RunOnce,
    Settings,
    Wait,
    List,
    LoadSetup,
    SaveSetup,
    Export,
};

struct Argument
{
    const char *name;
    int minimum;
    int maximum;
    const char *words[2]; // words standing for 0 and 1 ("off", "on"), or none; either may be null
    bool optional = false; // the last argument only: absent means 0
    bool text = false; // taken as it is, a file's path or a word, into Request::texts
};

struct CommandSpec
{
    const char *name;
    Kind kind;
    int argumentCount;
    std::array<Argument, 3> arguments;
    bool needsBoard;
    const char *summary;
};

const std::vector<CommandSpec> &commands();

// One checked command: its arguments and the settings to apply before it runs.
struct Request
{
    const CommandSpec *command = nullptr;
    std::array<int, 3> arguments {};
    QStringList texts; // the text arguments, in order
    std::vector<std::pair<int, int>> settings; // index into ChipSettings::settings, position
    int line = 0; // script line, 0 on the command line
};

// "decimal or 0x hex", nothing else: no sign, no octal, no trailing text.
std::optional<int> parseNumber(const QString &text);

// Parses a setting option's value; returns an error text naming it, or an empty string.
QString parseSetting(int index, const QString &value, Request *request);
// Parses a command and its arguments (the settings are parsed by the caller). Returns an error
// text naming what is wrong, or an empty string.
QString parseCommand(const QStringList &words, Request *request);
// A script line: a command, its arguments and any --SETTING VALUE pairs, separated by blanks.
// A word in double quotes may hold blanks; inside, \" is a quote and \\ a backslash, and any other
// backslash stands for itself, so a Windows path is written as it is. Blank lines and lines
// starting with # give no request. A setup that load-setup names is read here, so a refused
// file fails the line before anything is sent; its settings come before the line's own.
QString parseScriptLine(const QString &line, int lineNumber, std::optional<Request> *request);

// The window's locks: after `run on` or `run-once 1`, the commands of the buttons the window
// disables are refused until the matching release. A request that was refused, or that failed,
// changes nothing.
class Locks
{
public:
    // The error text naming `request` when the window would refuse it now, or an empty string.
    QString check(const Request &request) const;
    // The state `request` leaves behind once it has run.
    void take(const Request &request);

private:
    enum class Held { Nothing, Run, RunOnce1 } mHeld = Held::Nothing;
};

// The locks carried through a whole script, before anything is sent. Returns the error text of
// the first refused request, with *line set to its line, or an empty string.
QString checkLocks(const std::vector<Request> &requests, int *line);

// The usage text of every command, for --help.
QString commandHelp();

} // namespace Ctl
