#include "boardtrace.h"
#include "chipsettings.h"
#include "ctlcommand.h"
#include "ctlserve.h"
#include "ctlsession.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string>

// qd7310-ctl's session with arbitrary bytes on its standard input: its line reader, its request
// parser, its locks and the commands they reach, on the simulated board or with none present.
namespace {

void expect(bool condition)
{
    if (!condition)
        std::abort();
}

// The fuzzer cannot learn a name from a QString comparison, so 0xFF, which UTF-8 text never
// holds, followed by a byte N stands for the name of command N or, past them, of a setting.
std::string expandNames(const std::uint8_t *data, std::size_t size)
{
    const std::size_t commandCount = Ctl::commands().size();
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0xFF || i + 1 == size) {
            text += char(data[i]);
            continue;
        }
        const std::size_t n = data[++i] % (commandCount + ChipSettings::kCount);
        text += n < commandCount
            ? std::string(Ctl::commands()[n].name)
            : "--" + std::string(ChipSettings::settings[n - commandCount].name);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string input = expandNames(data, size);
    // A wait of up to an hour is a request like any other, and would stall the run; a saved
    // setup would land wherever the line names.
    if (input.empty() || input.find("wait") != std::string::npos
        || input.find("save-setup") != std::string::npos)
        return 0;
    static std::string trace;
    trace.clear();
    BoardTrace::setBuffer(&trace);

    // The first byte's low bit takes the board away; the session reads the rest.
    SimulatedBoard board;
    board.setRecording(false);
    board.setPresent(!(input[0] & 1));
    input.erase(0, 1);
    Ctl::Session session([&board] { return std::make_unique<USBHid2>(board.platform(), 1); });
    std::FILE *in = fmemopen(input.data(), input.size(), "rb");
    if (!in)
        return 0; // fmemopen takes no empty buffer

    // One reply per line at most, each one JSON object on one line, numbered in reading order.
    const qsizetype lines = QByteArray::fromStdString(input).count('\n') + 1;
    int last = 0;
    const int exitCode = Ctl::serve(session, in, [&](const QByteArray &line) {
        expect(line.endsWith('\n') && line.count('\n') == 1);
        QJsonParseError error;
        const QJsonObject reply = QJsonDocument::fromJson(line, &error).object();
        expect(error.error == QJsonParseError::NoError && reply.contains("ok"));
        const int request = reply.value("request").toInt();
        expect(request > last && request <= lines);
        last = request;
        trace.clear();
        return 0;
    });
    std::fclose(in);
    expect(exitCode == 0);
    BoardTrace::setBuffer(nullptr);
    return 0;
}
