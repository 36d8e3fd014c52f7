#include "ctlsession.h"

#include "chipprogram.h"
#include "firmwareexport.h"
#include "setupfile.h"
#include "usbhid2.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>

namespace Ctl {

namespace {

// Board commands report through a return value and an optional status byte; this turns them,
// with whether every report went out, into the result's fields and exit code.
void finish(Result *result, bool done, int status, bool notSent)
{
    if (done) {
        result->add("result", QStringLiteral("ok"));
        return;
    }
    result->exitCode = BoardFailed;
    if (notSent) {
        result->add("result", QStringLiteral("not-taken"));
        result->error = result->command + QLatin1String(": the board did not take the command");
    } else if (status != 0) {
        result->add("result", QStringLiteral("refused"));
        result->add("status", status);
        result->error = result->command + QLatin1String(": the board refused it with status ")
            + QString::number(status);
    } else {
        result->add("result", QStringLiteral("no-answer"));
        result->error = result->command + QLatin1String(": the board did not answer");
    }
}

// A board that refused a command with a status is there and answering; any other failure may
// mean it is gone.
bool boardMayBeGone(const Result &result)
{
    if (result.exitCode == BoardNotFound)
        return true;
    if (result.exitCode != BoardFailed)
        return false;
    for (const auto &[name, value] : result.fields)
        if (name == QLatin1String("status"))
            return false;
    return true;
}

// A value with a blank, a quote, a backslash or a control character is quoted, escaped as C does.
QString quoted(const QVariant &value)
{
    static const QHash<QChar, QLatin1String> kEscapes { { '"', QLatin1String("\\\"") },
        { '\\', QLatin1String("\\\\") }, { '\t', QLatin1String("\\t") },
        { '\n', QLatin1String("\\n") }, { '\r', QLatin1String("\\r") } };
    const auto control = [](QChar c) { return c < QLatin1Char(' ') || c == QChar(0x7F); };
    const QString text = value.toString();
    if (!text.isEmpty() && std::none_of(text.begin(), text.end(), [&](QChar c) {
            return c == QLatin1Char(' ') || control(c) || kEscapes.contains(c);
        }))
        return text;
    QString escaped = QStringLiteral("\"");
    for (const QChar c : text) {
        if (kEscapes.contains(c))
            escaped += kEscapes.value(c);
        else if (control(c))
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped + QLatin1Char('"');
}

} // namespace

QString formatText(const Result &result)
{
    if (!result.document.isEmpty())
        return result.document.endsWith(QLatin1Char('\n')) ? result.document.chopped(1)
                                                           : result.document;
    QString line = result.command;
    for (const auto &[name, value] : result.fields)
        line += QLatin1Char(' ') + name + QLatin1Char('=') + quoted(value);
    return line;
}

QJsonObject toJson(const Result &result)
{
    QJsonObject object;
    object.insert(QStringLiteral("command"), result.command);
    for (const auto &[name, value] : result.fields)
        object.insert(name, QJsonValue::fromVariant(value));
    return object;
}

QString formatJson(const Result &result)
{
    return QString::fromUtf8(QJsonDocument(toJson(result)).toJson(QJsonDocument::Compact));
}

Session::Session(LinkFactory makeLink)
    : mMakeLink(std::move(makeLink)), mPositions(ChipSettings::startPositions())
{ }

Session::~Session() = default;

void Session::applySettings(const std::vector<std::pair<int, int>> &settings)
{
    for (const auto &[index, position] : settings)
        mPositions[static_cast<std::size_t>(index)] = position;
}

std::vector<Result> Session::runAll(const Request &request)
{
    if (request.command->kind != Kind::List)
        return { run(request) };
    applySettings(request.settings);
    return list();
}

Result Session::run(const Request &request)
{
    if (request.command->kind == Kind::List)
        return runAll(request).front();
    applySettings(request.settings);
    if (request.command->kind == Kind::Settings)
        return settingsResult();
    if (request.command->kind == Kind::Wait) {
        QThread::msleep(static_cast<unsigned long>(request.arguments[0]));
        Result result;
        result.command = QStringLiteral("wait");
        result.add("ms", request.arguments[0]);
        return result;
    }
    Result result;
    result.command = QLatin1String(request.command->name);
    if (!request.command->needsBoard) {
        runFileCommand(request, result);
        return result;
    }
    if (ensureBoard(&result))
        runOnBoard(request, result);
    if (boardMayBeGone(result))
        mSearched = false;
    return result;
}

std::vector<Result> Session::list()
{
    if (!mLink)
        mLink = mMakeLink();
    // The board this session holds stays open and held; the listing does not disturb it.
    const std::vector<BoardListing> boards = mLink->listBoards();
    if (boards.empty()) {
        Result failure;
        failure.command = QStringLiteral("list");
        failure.exitCode = BoardNotFound;
        failure.error = missingBoardText();
        return { failure };
    }
    std::vector<Result> results;
    for (const BoardListing &board : boards) {
        Result result;
        result.command = QStringLiteral("list");
        result.add(QStringLiteral("location"), QString::fromStdString(board.location));
        result.add(QStringLiteral("openable"), board.openable ? 1 : 0);
        result.add(QStringLiteral("answers"), board.answers ? 1 : 0);
        if (!board.advice.empty())
            result.add(QStringLiteral("advice"), QString::fromStdString(board.advice));
        results.push_back(result);
    }
    return results;
}

bool Session::ensureBoard(Result *result)
{
    if (!mSearched) {
        mSearched = true;
        if (!mLink)
            mLink = mMakeLink();
        mFound = mLink->usb_hid_init() != 0;
        mAdvice = QString::fromStdString(mLink->unopenableBoardMessage());
        // Whatever the board was sent before is gone with it.
        result->reconnected = mFound && mEverFound;
        mEverFound = mEverFound || mFound;
    }
    if (!mFound) {
        // A board that is present but cannot be used is the likeliest first failure on a fresh
        // machine; the link says why, and the user must see it.
        result->exitCode = BoardNotFound;
        result->error = mAdvice.isEmpty() ? missingBoardText() : mAdvice;
        if (result->command == QLatin1String("status")) {
            result->add("found", 0);
            result->add("answers", 0);
        }
    }
    return mFound;
}

QString Session::missingBoardText()
{
    const std::string &location = mLink->boardLocation();
    if (location.empty())
        return QStringLiteral("board not found");
    // Naming the boards that are there tells a mistyped location from an unplugged board. They
    // are named from what the system tells unopened: another program may be driving them.
    QStringList present;
    for (const std::string &board : mLink->boardLocations())
        present.append(QString::fromStdString(board));
    return QLatin1String("no board at ") + QString::fromStdString(location)
        + (present.isEmpty()
                ? QStringLiteral("; no board is present")
                : QLatin1String("; boards present: ") + present.join(QLatin1String(", ")));
}

void Session::runOnBoard(const Request &request, Result &result)
{
    const auto &a = request.arguments;
    // The status is read only after the call that sets it.
    int status = 0;
    bool done = false;
    int value = -1;
    const int unsentBefore = mLink->reportsNotSent();
    const auto finished = [&](bool ok, int refusal) {
        finish(&result, ok, refusal, mLink->reportsNotSent() != unsentBefore);
    };
    const auto finishRead = [&](int read) {
        if (read >= 0)
            result.add("value", read);
        finished(read >= 0, status);
    };
    const auto finishOutcome = [&](const ChipProgram::Outcome &outcome) {
        result.add("sent", outcome.sent);
        finished(!outcome.failed, outcome.status);
    };

    ChipSettings::RegisterImage chipRegs {};
    ChipSettings::fillImage(chipRegs, mPositions);

    switch (request.command->kind) {
    case Kind::InitController:
        done = mLink->init_controller(&status) == 1;
        finished(done, status);
        break;
    case Kind::SpiWrite:
        result.add("reg", a[0]);
        result.add("data", a[1]);
        done = mLink->spi_write(a[0], a[1], &status) == 1;
        finished(done, status);
        break;
    case Kind::SpiRead:
        result.add("reg", a[0]);
        value = mLink->spi_read(a[0], &status);
        finishRead(value);
        break;
    case Kind::I2cWrite:
        result.add("dev", a[0]);
        result.add("reg", a[1]);
        result.add("data", a[2]);
        done = mLink->i2c_write(a[0], a[1], a[2], &status) == 1;
        finished(done, status);
        break;
    case Kind::I2cRead:
        result.add("dev", a[0]);
        result.add("reg", a[1]);
        value = mLink->i2c_read(a[0], a[1], &status);
        finishRead(value);
        break;
    case Kind::Measure:
        result.add("channel", a[0]);
        result.add("adc", a[1]);
        value = mLink->measure(a[0], a[1], &status);
        finishRead(value);
        break;
    case Kind::PinRead:
        result.add("group", a[0]);
        result.add("pin", a[1]);
        value = mLink->read_pin(a[0], a[1], &status);
        finishRead(value);
        break;
    case Kind::PinDir:
    case Kind::PinSet: {
        result.add("group", a[0]);
        result.add("pin", a[1]);
        result.add("value", a[2]);
        done
            = (request.command->kind == Kind::PinDir ? mLink->set_pin_dir(a[0], a[1], a[2], &status)
                                                     : mLink->set_pin(a[0], a[1], a[2], &status))
            == 1;
        finished(done, status);
        break;
    }
    case Kind::Status: {
        const bool answers = mLink->conn_status() != 0;
        result.add("found", 1);
        result.add("answers", answers ? 1 : 0);
        if (!answers) {
            result.exitCode = BoardFailed;
            result.error = QStringLiteral("status: the board was found but does not answer");
        }
        break;
    }
    case Kind::Prepare: {
        // The preparation stops after a failed init_controller, its first command.
        const ChipProgram::Outcome outcome = ChipProgram::prepareBoard(*mLink);
        finishOutcome(outcome);
        break;
    }
    case Kind::Train: {
        const int pulses = a[0];
        const double total
            = ChipSettings::trainTotal(ChipSettings::selectedTimes(mPositions), pulses);
        result.add("pulses", pulses);
        result.add("total", ChipSettings::totalText(total));
        finishOutcome(ChipProgram::writeRegisters(*mLink, chipRegs, *ChipProgram::train(pulses)));
        break;
    }
    case Kind::ChangeCurrent:
        result.add("current",
            ChipSettings::labelText(ChipSettings::Current, mPositions[ChipSettings::Current]));
        finishOutcome(ChipProgram::writeRegisters(*mLink, chipRegs, ChipProgram::changeCurrent));
        break;
    case Kind::Reset:
        finishOutcome(ChipProgram::writeRegisters(*mLink, chipRegs, ChipProgram::reset));
        break;
    case Kind::Follow:
        result.add("mode", a[0]);
        finishOutcome(
            ChipProgram::writeRegisters(*mLink, chipRegs, *ChipProgram::followMode(a[0])));
        break;
    case Kind::Run:
        result.add("line", a[0] ? QStringLiteral("on") : QStringLiteral("off"));
        finishOutcome(ChipProgram::setRunLine(*mLink, a[0] != 0));
        break;
    case Kind::RunOnce:
        result.add("mode", a[0]);
        if (a[1]) {
            // Run Once 1's second click: the run line low, no register written.
            result.add("line", QStringLiteral("off"));
            finishOutcome(ChipProgram::setRunLine(*mLink, false));
        } else {
            finishOutcome(
                ChipProgram::writeRegisters(*mLink, chipRegs, *ChipProgram::runOnce(a[0])));
        }
        break;
    case Kind::Settings:
    case Kind::Wait:
    case Kind::List:
    case Kind::LoadSetup:
    case Kind::SaveSetup:
    case Kind::Export:
        break;
    }
}

void Session::runFileCommand(const Request &request, Result &result)
{
    const QString text = request.texts.value(0);
    switch (request.command->kind) {
    case Kind::LoadSetup: // read when the line was checked; its settings are already applied
        result.add("file", text);
        mSetupFile = text;
        break;
    case Kind::SaveSetup: {
        const QString error = SetupFile::write(text, mPositions);
        if (!error.isEmpty()) {
            result.exitCode = CannotCreate;
            result.error = error;
            break;
        }
        result.add("file", text);
        mSetupFile = text;
        break;
    }
    case Kind::Export: {
        const auto format = FirmwareExport::formatNamed(text);
        const FirmwareExport::Command *command
            = FirmwareExport::findCommand(request.texts.value(1));
        if (!format || !command)
            break; // refused when the line was checked
        result.document
            = QString::fromUtf8(FirmwareExport::render(*format, *command, mPositions, mSetupFile));
        result.add("format", text);
        result.add("exported", QLatin1String(command->words));
        result.add("export", result.document);
        break;
    }
    default:
        break;
    }
}

Result Session::settingsResult() const
{
    Result result;
    result.command = QStringLiteral("settings");
    for (int i = 0; i < ChipSettings::kCount; ++i)
        result.add(ChipSettings::settings[std::size_t(i)].name,
            ChipSettings::labelText(i, mPositions[std::size_t(i)]));
    const auto times = ChipSettings::selectedTimes(mPositions);
    for (int pulses = 1; pulses <= ChipSettings::kPulseCount; ++pulses)
        result.add(QLatin1String("train") + QString::number(pulses),
            ChipSettings::totalText(ChipSettings::trainTotal(times, pulses)));
    return result;
}

} // namespace Ctl
