#include "ctlcommand.h"
#include "ctlsession.h"

#include "boardtrace.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <optional>
#include <string>

namespace {

const char *const kExitCodes = "Exit codes:\n"
                               "  0   success\n"
                               "  1   board not found\n"
                               "  2   the board did not answer, or refused (non-zero status)\n"
                               "  64  bad usage: nothing was sent\n";

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

// Reads and checks a whole script before anything is sent, so a bad line half-programs nothing.
std::optional<std::vector<Ctl::Request>> readScript(const QString &path, QString *error)
{
    QFile file;
    const bool opened = path == QLatin1String("-")
        ? file.open(stdin, QIODevice::ReadOnly)
        : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QString name = path == QLatin1String("-") ? QStringLiteral("stdin") : path;
    std::vector<Ctl::Request> requests;
    QTextStream in(&file);
    for (int number = 1; !in.atEnd(); ++number) {
        std::optional<Ctl::Request> request;
        const QString lineError = Ctl::parseScriptLine(in.readLine(), number, &request);
        if (!lineError.isEmpty()) {
            *error = QStringLiteral("%1:%2: %3").arg(name).arg(number).arg(lineError);
            return std::nullopt;
        }
        if (request)
            requests.push_back(*request);
    }
    return requests;
}

} // namespace

int main(int argc, char *argv[])
{
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
    parser.addOptions({ simulated, trace, json, script });
    std::vector<QCommandLineOption> settingOptions;
    for (const ChipSettings::Setting &s : ChipSettings::settings) {
        settingOptions.emplace_back(QLatin1String(s.name),
            QStringLiteral("Slider position %1..%2 (start %3).")
                .arg(s.minimum)
                .arg(s.maximum)
                .arg(s.start),
            QStringLiteral("N"));
        parser.addOption(settingOptions.back());
    }
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::printf("\n%s\n%s", qPrintable(Ctl::commandHelp()), kExitCodes);
        return Ctl::Success;
    }
    if (parser.isSet(version)) {
        std::printf("qd7310-ctl %s\n", QD7310_VERSION);
        return Ctl::Success;
    }

    // Everything is checked before the link exists.
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
    if (parser.isSet(script)) {
        if (!parser.positionalArguments().isEmpty())
            return usageError(QStringLiteral("give either a command or --script, not both"));
        QString error;
        const auto scripted = readScript(parser.value(script), &error);
        if (!scripted)
            return usageError(error);
        requests = *scripted;
    } else {
        Ctl::Request request;
        const QString error = Ctl::parseCommand(parser.positionalArguments(), &request);
        if (!error.isEmpty())
            return usageError(error);
        requests.push_back(request);
    }
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

    // The simulated board is used only when asked for, never in place of a missing board.
    std::optional<SimulatedBoard> board;
    if (parser.isSet(simulated))
        board.emplace();
    Ctl::Session session([&board]() {
        return board ? std::make_unique<USBHid2>(board->platform()) : std::make_unique<USBHid2>();
    });

    int exitCode = Ctl::Success;
    for (const Ctl::Request &request : requests) {
        const Ctl::Result result = session.run(request);
        discardedTrace.clear();
        if (!result.fields.empty() || result.exitCode == Ctl::Success) {
            const QString line
                = parser.isSet(json) ? Ctl::formatJson(result) : Ctl::formatText(result);
            std::printf("%s\n", qPrintable(line));
            std::fflush(stdout);
        }
        if (result.exitCode != Ctl::Success) {
            const QString where
                = request.line ? QStringLiteral("line %1: ").arg(request.line) : QString();
            std::fprintf(stderr, "qd7310-ctl: %s%s\n", qPrintable(where), qPrintable(result.error));
            exitCode = result.exitCode;
            break;
        }
    }
    BoardTrace::setBuffer(nullptr);
    if (traceFile && traceFile != stderr)
        std::fclose(traceFile);
    return exitCode;
}
