#pragma once

#include "chipsettings.h"
#include "ctlcommand.h"

#include <QJsonObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class USBHid2;

namespace Ctl {

// Exit codes, the same for the same cause every time.
enum ExitCode {
    Success = 0,
    BoardNotFound = 1,
    BoardFailed = 2, // no answer, or the board refused with a non-zero status
    Usage = 64,
    CannotCreate = 73, // EX_CANTCREAT: a setup could not be saved; the old file is kept
    OutputError = 74, // EX_IOERR: the results were lost, so the run must not pass for a success
};

// What one command did, as named fields in a fixed order.
struct Result
{
    QString command;
    std::vector<std::pair<QString, QVariant>> fields;
    int exitCode = Success;
    QString error; // for standard error when exitCode is not Success
    bool reconnected = false; // the board was searched for again and found: prepare it again
    QString document; // a whole text the command made (an export): the text form is this alone

    void add(const QString &name, const QVariant &value) { fields.emplace_back(name, value); }
};

// "command key=value ...". A value with a blank, a double quote, a backslash or a control
// character is put in double quotes, with \" \\ \t \n \r standing for those characters, so
// every line splits into its fields.
QString formatText(const Result &result);
// The fields as one JSON object, and that object on one line.
QJsonObject toJson(const Result &result);
QString formatJson(const Result &result);

// Runs checked requests over one link, opened at the first command that needs the board and
// kept for the rest. The settings start at the window's start positions and, as the window's
// sliders, keep what each request sets. A link with a board location reaches that board only.
// After a command that found no board, or whose board did not take it or did not answer, the
// next command searches again; a refusal with a status keeps the board.
class Session
{
public:
    using LinkFactory = std::function<std::unique_ptr<USBHid2>()>;

    explicit Session(LinkFactory makeLink);
    ~Session();

    Result run(const Request &request);
    // The same, with every result of `list`: one per board present, or the one failure.
    std::vector<Result> runAll(const Request &request);

    const ChipSettings::Positions &positions() const { return mPositions; }
    void applySettings(const std::vector<std::pair<int, int>> &settings);
    // The setup file the settings came from, for an export's comment.
    void setSetupFile(const QString &path) { mSetupFile = path; }

private:
    std::vector<Result> list();
    bool ensureBoard(Result *result);
    QString missingBoardText();
    void runOnBoard(const Request &request, Result &result);
    void runFileCommand(const Request &request, Result &result);
    Result settingsResult() const;

    LinkFactory mMakeLink;
    std::unique_ptr<USBHid2> mLink;
    bool mSearched = false;
    bool mFound = false;
    bool mEverFound = false;
    QString mAdvice; // why the board could not be opened; the link says it once in its life
    ChipSettings::Positions mPositions;
    QString mSetupFile;
};

} // namespace Ctl
