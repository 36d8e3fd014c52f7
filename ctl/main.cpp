#include "ctlcommand.h"
#include "ctlserve.h"
#include "ctlsession.h"

#include "boardtrace.h"
#include "setupfile.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

const char *const kLocks
    = "In a script, the window's locks hold: after 'run on' or 'run-once 1', the commands of the\n"
      "buttons the window then disables are refused (exit 64, nothing sent) until 'run off' or\n"
      "'run-once 1 off'. A single command on the command line carries no state from one call to\n"
      "the next, so nothing is locked there.\n";

const char *const kExitCodes
    = "Exit codes:\n"
      "  0   success\n"
      "  1   board not found (with --board, the boards present are named on standard error),\n"
      "      or present but cannot be used: not opened, or in use by another program (the\n"
      "      reason on standard error)\n"
      "  2   the board did not take a command (its report could not be written), did not\n"
      "      answer, or refused (non-zero status)\n"
      "  64  bad usage, or a refused setup file: nothing was sent\n"
      "  73  a setup could not be saved; the file that was there is kept\n"
      "  74  the results could not be written (a full disk, say)\n"
      "  141 the reader closed the pipe (as head does): the program ends quietly\n";

const char *const kFiles
    = "A FILE in a script or session line may be written in double quotes, so that a path may\n"
      "hold blanks; inside the quotes \\\" is a quote and \\\\ a backslash, and any other "
      "backslash\n"
      "stands for itself: load-setup \"C:\\Lab Data\\led 3.qd7310\". A script reads the setups it\n"
      "loads when it is checked, before anything runs.\n";

const char *const kSession
    = "qd7310-ctl session keeps the board open for a program that drives it: the first line\n"
      "out is a JSON greeting, then each line in (a script line) gets one JSON line back once\n"
      "its command has finished, with \"request\" (its line number), \"ok\" and, on failure,\n"
      "\"error\" and \"exit\". End of input or 'quit' ends it; nothing is sent at the end.\n";

// 128 + SIGPIPE: what a POSIX shell reports for a filter whose reader went away.
constexpr int kReaderGone = 141;

std::FILE *traceFile = nullptr; // where the link's trace and debug messages go, if anywhere

void handleMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // The link's progress messages belong with its trace; only real trouble reaches stderr.
    std::FILE *out = type == QtDebugMsg || type == QtInfoMsg ? traceFile : stderr;
    if (out) {
        std::fprintf(out, "%s\n", qPrintable(message));
        std::fflush(out);
    }
}

int usageError(const QString &message)
{
    std::fprintf(stderr, "qd7310-ctl: %s\n", qPrintable(message));
    return Ctl::Usage;
}

// Whether the last failed write found the reader gone: the far end of a pipe closed, as head
// does once it has its lines.
bool readerGone()
{
#ifdef Q_OS_WIN
    const DWORD error = GetLastError();
    if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED)
        return true;
#endif
    return errno == EPIPE;
}

// Writes to standard output and flushes it. Returns 0, or the exit code when the text did not
// get out: quietly for a reader that went away, as every filter ends; with a line for anything
// else (a full disk), which a write may report only at the flush.
int output(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return Ctl::Success;
    if (readerGone())
        return kReaderGone;
    std::fprintf(stderr, "qd7310-ctl: cannot write the results: %s\n", std::strerror(errno));
    return Ctl::OutputError;
}

int output(const QString &text)
{
    return output(text.toLocal8Bit());
}

QString formatted(const Ctl::Result &result, bool json)
{
    return (json ? Ctl::formatJson(result) : Ctl::formatText(result)) + QLatin1Char('\n');
}

// A script line's place, as parse errors and run-time errors both give it.
QString where(const QString &scriptName, int line)
{
    return scriptName + QLatin1Char(':') + QString::number(line) + QLatin1String(": ");
}

// Reads and checks a whole script before anything is sent, so a bad line half-programs nothing.
std::optional<std::vector<Ctl::Request>> readScript(
    const QString &path, const QString &name, QString *error)
{
    QFile file;
    const bool opened = path == QLatin1String("-")
        ? file.open(stdin, QIODevice::ReadOnly)
        : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    std::vector<Ctl::Request> requests;
    QTextStream in(&file);
    for (int number = 1; !in.atEnd(); ++number) {
        std::optional<Ctl::Request> request;
        const QString lineError = Ctl::parseScriptLine(in.readLine(), number, &request);
        if (!lineError.isEmpty()) {
            *error = where(name, number) + lineError;
            return std::nullopt;
        }
        if (request)
            requests.push_back(*request);
    }
    int line = 0;
    const QString lockError = Ctl::checkLocks(requests, &line);
    if (!lockError.isEmpty()) {
        *error = where(name, line) + lockError;
        return std::nullopt;
    }
    return requests;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
    // A reader that goes away is told by the failed write, so the program ends as it decides.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qd7310-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QD7310_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Programs the QD7310 through its evaluation board, one command or a script of them."));
    parser.addPositionalArgument(
        QStringLiteral("command"), QStringLiteral("COMMAND [ARGUMENT...]"));
    const QCommandLineOption simulated(QStringLiteral("simulated"),
        QStringLiteral("Use the simulated board instead of the real one."));
    const QCommandLineOption trace(QStringLiteral("trace"),
        QStringLiteral("Write the link's trace to FILE (- for standard error)."),
        QStringLiteral("FILE"));
    const QCommandLineOption json(
        QStringLiteral("json"), QStringLiteral("One JSON object per result line."));
    const QCommandLineOption script(QStringLiteral("script"),
        QStringLiteral("Run the commands in FILE (- for standard input), one per line."),
        QStringLiteral("FILE"));
    const QCommandLineOption boardOption(QStringLiteral("board"),
        QStringLiteral("Use only the board at LOCATION, as list shows it; without it, the first "
                       "board found."),
        QStringLiteral("LOCATION"));
    const QCommandLineOption setup(QStringLiteral("setup"),
        QStringLiteral("Start from the settings in the setup FILE; a setting given as an option "
                       "wins over it."),
        QStringLiteral("FILE"));
    parser.addOptions({ simulated, boardOption, trace, json, script, setup });
    std::vector<QCommandLineOption> settingOptions;
    for (const ChipSettings::Setting &s : ChipSettings::settings) {
        settingOptions.emplace_back(QLatin1String(s.name),
            QStringLiteral("Slider position %1..%2 (start %3).")
                .arg(QString::number(s.minimum), QString::number(s.maximum),
                    QString::number(s.start)),
            QStringLiteral("N"));
        parser.addOption(settingOptions.back());
    }
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    // The help option brings --help-all with it; a console tool has no Qt options to add.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        const QString text = parser.helpText() + QLatin1Char('\n') + Ctl::commandHelp()
            + QStringLiteral("  %1 keep the board open and serve JSON Lines\n")
                  .arg(QStringLiteral("session").leftJustified(26))
            + QLatin1Char('\n') + QLatin1String(kLocks) + QLatin1Char('\n') + QLatin1String(kFiles)
            + QLatin1Char('\n') + QLatin1String(kSession) + QLatin1Char('\n')
            + QLatin1String(kExitCodes);
        return output(text);
    }
    if (parser.isSet(version))
        return output(QStringLiteral("qd7310-ctl " QD7310_VERSION "\n"));

    // Everything is checked before the link exists.
    const std::string location = parser.value(boardOption).toStdString();
    if (parser.isSet(boardOption))
        if (const char *error = boardLocationError(location))
            return usageError(QLatin1String(error));
    // The setup file's settings first, so that the options given beside it win.
    std::vector<std::pair<int, int>> fromFile;
    if (parser.isSet(setup)) {
        ChipSettings::Positions positions {};
        const QString error = SetupFile::read(parser.value(setup), &positions);
        if (!error.isEmpty())
            return usageError(error);
        for (int i = 0; i < ChipSettings::kCount; ++i)
            fromFile.emplace_back(i, positions[std::size_t(i)]);
    }
    Ctl::Request settings;
    for (int i = 0; i < ChipSettings::kCount; ++i) {
        const QCommandLineOption &option = settingOptions[std::size_t(i)];
        if (!parser.isSet(option))
            continue;
        const QString error = Ctl::parseSetting(i, parser.value(option), &settings);
        if (!error.isEmpty())
            return usageError(error);
    }
    std::vector<Ctl::Request> requests;
    QString scriptName;
    const bool serving = parser.positionalArguments() == QStringList { QStringLiteral("session") };
    if (serving) {
        if (parser.isSet(script))
            return usageError(QStringLiteral("give either session or --script, not both"));
    } else if (parser.isSet(script)) {
        if (!parser.positionalArguments().isEmpty())
            return usageError(QStringLiteral("give either a command or --script, not both"));
        const QString path = parser.value(script);
        scriptName = path == QLatin1String("-") ? QStringLiteral("stdin") : path;
        QString error;
        const auto scripted = readScript(path, scriptName, &error);
        if (!scripted)
            return usageError(error);
        requests = *scripted;
    } else {
        Ctl::Request request;
        const QString error = Ctl::parseCommand(parser.positionalArguments(), &request);
        if (!error.isEmpty())
            return usageError(error);
        // The options win over a setup that the command itself loads, as on a script's line.
        request.settings.insert(
            request.settings.end(), settings.settings.begin(), settings.settings.end());
        settings.settings.clear();
        requests.push_back(request);
    }
    settings.settings.insert(settings.settings.begin(), fromFile.begin(), fromFile.end());
    if (!requests.empty())
        requests.front().settings.insert(
            requests.front().settings.begin(), settings.settings.begin(), settings.settings.end());

    std::string discardedTrace;
    if (parser.isSet(trace)) {
        const QString path = parser.value(trace);
        traceFile = path == QLatin1String("-") ? stderr : std::fopen(qPrintable(path), "w");
        if (!traceFile)
            return usageError(QStringLiteral("--trace: cannot write %1").arg(path));
        BoardTrace::setFile(traceFile);
    } else {
        BoardTrace::setBuffer(&discardedTrace);
    }
    qInstallMessageHandler(handleMessage);

    // The simulated board is used only when asked for, never in place of a missing board. Like
    // the demo's, it keeps no record of the reports, so a long script's memory stays flat.
    std::optional<SimulatedBoard> board;
    if (parser.isSet(simulated)) {
        board.emplace();
        board->setRecording(false);
    }

    int exitCode = Ctl::Success;
    {
        // The session, and with it the link, ends before the trace's file is closed.
        Ctl::Session session([&board, &location]() {
            auto link = board ? std::make_unique<USBHid2>(board->platform())
                              : std::make_unique<USBHid2>();
            link->setBoardLocation(location);
            return link;
        });
        session.setSetupFile(parser.value(setup));
        if (serving) {
#ifdef Q_OS_WIN
            // Replies end in LF alone, and requests arrive as they were sent.
            _setmode(_fileno(stdin), _O_BINARY);
            _setmode(_fileno(stdout), _O_BINARY);
#endif
            session.applySettings(settings.settings);
            exitCode = output(Ctl::greeting(QD7310_VERSION));
            if (exitCode == Ctl::Success)
                exitCode = Ctl::serve(session, stdin, [&discardedTrace](const QByteArray &line) {
                    discardedTrace.clear();
                    return output(line);
                });
        }
        for (const Ctl::Request &request : requests) {
            // A listing gives a result per board; a failure is always the last result.
            for (const Ctl::Result &result : session.runAll(request)) {
                if (!result.fields.empty() || result.exitCode == Ctl::Success) {
                    exitCode = output(formatted(result, parser.isSet(json)));
                    if (exitCode != Ctl::Success)
                        break;
                }
                if (result.exitCode != Ctl::Success) {
                    const QString place
                        = request.line ? where(scriptName, request.line) : QString();
                    std::fprintf(
                        stderr, "qd7310-ctl: %s%s\n", qPrintable(place), qPrintable(result.error));
                    exitCode = result.exitCode;
                    break;
                }
            }
            discardedTrace.clear();
            if (exitCode != Ctl::Success)
                break;
        }
    }
    qInstallMessageHandler(nullptr);
    BoardTrace::setBuffer(nullptr);
    BoardTrace::setFile(nullptr);
    if (traceFile && traceFile != stderr)
        std::fclose(traceFile);
    traceFile = nullptr;
    return exitCode;
}
