// qd7310-ctl as a script sees it: what it prints, where, and its exit codes; and that nothing
// reaches the board when any part of the command or script is wrong; board faults, in-process.
#include "boardtrace.h"
#include "chipprogram.h"
#include "ctlserve.h"
#include "ctlsession.h"
#include "refusedsetups.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

class TestCtl : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void badScriptSendsNothing();
    void lostResults();
    void boardFaults_data();
    void boardFaults();
    void prepareAsTheWindow();
    void severalBoards();
    void sessionKeepsTheBoard();
    void setupRoundTrip();
    void refusedSetup_data();
    void refusedSetup();
    void lostAnswerAndReplug();
};

void TestCtl::run_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("script"); // standard input, for --script -
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("error"); // a part of the one-line error

    const QByteArray defaults = "settings calibration=\"500 us\" current=\"2.5 mA\" rise1=\"0 ms\" "
                                "on1=\"13.2 ms\" fall1=\"0 ms\" off1=\"26.4 ms\" rise2=\"0 ms\" "
                                "on2=\"13.2 ms\" fall2=\"0 ms\" off2=\"26.4 ms\" rise3=\"0 ms\" "
                                "on3=\"13.2 ms\" fall3=\"0 ms\" off3=\"26.4 ms\" train1=\"39 ms\" "
                                "train2=\"79 ms\" train3=\"118 ms\"\n";
    QTest::newRow("settings at the start positions")
        << QStringList { "settings" } << QByteArray() << 0 << defaults << QByteArray();
    QTest::newRow("settings, hex and table ends")
        << QStringList { "--calibration", "0x60", "--current", "7", "--rise1", "15", "--on1", "31",
               "--off1", "0x1F", "settings" }
        << QByteArray() << 0
        << QByteArray(
               "settings calibration=\"10 ms\" current=\"20.0 mA\" rise1=\"1584 ms\" "
               "on1=\"3009.6 ms\" fall1=\"0 ms\" off1=\"6019.2 ms\" rise2=\"0 ms\" on2=\"13.2 ms\" "
               "fall2=\"0 ms\" off2=\"26.4 ms\" rise3=\"0 ms\" on3=\"13.2 ms\" fall3=\"0 ms\" "
               "off3=\"26.4 ms\" train1=\"10612 ms\" train2=\"10652 ms\" train3=\"10692 ms\"\n")
        << QByteArray();
    QTest::newRow("json")
        << QStringList { "--simulated", "--json", "spi-write", "15", "0x14" } << QByteArray() << 0
        << QByteArray("{\"command\":\"spi-write\",\"data\":20,\"reg\":15,\"result\":\"ok\"}\n")
        << QByteArray();

    // A script keeps one board and the settings it was given; it stops at the first failure.
    QTest::newRow("script")
        << QStringList { "--simulated", "--current", "3", "--script", "-" }
        << QByteArray("# sweep\n\nchange-current\n  change-current --current 4\nwait 0\n"
                      "spi-read 2\ni2c-read 0x50 0\nspi-read 1\n")
        << 2
        << QByteArray("change-current current=\"10.0 mA\" sent=4 result=ok\n"
                      "change-current current=\"12.5 mA\" sent=4 result=ok\n"
                      "wait ms=0\n"
                      "spi-read reg=2 value=4 result=ok\n"
                      "i2c-read dev=80 reg=0 result=refused status=2\n")
        << QByteArray("qd7310-ctl: stdin:7: i2c-read: the board refused it with status 2\n");

    // Bad usage: one line naming the fault, exit 64.
    const QByteArray none;
    QTest::newRow("unknown command")
        << QStringList { "flash" } << none << 64 << none << QByteArray("unknown command 'flash'");
    QTest::newRow("no command") << QStringList {} << none << 64 << none
                                << QByteArray("no command given");
    QTest::newRow("register out of range") << QStringList { "spi-write", "32", "1" } << none << 64
                                           << none << QByteArray("REG '32' is not in 0..31");
    QTest::newRow("not a number") << QStringList { "spi-read", "1x" } << none << 64 << none
                                  << QByteArray("REG '1x' is not in 0..31");
    QTest::newRow("negative") << QStringList { "spi-read", "-1" } << none << 64 << none
                              << QByteArray("Unknown option");
    QTest::newRow("too many arguments") << QStringList { "train", "1", "2" } << none << 64 << none
                                        << QByteArray("train: takes 1 argument(s), 2 given");
    QTest::newRow("run word") << QStringList { "run", "1" } << none << 64 << none
                              << QByteArray("run: on|off '1' is not in on|off");
    QTest::newRow("setting out of range")
        << QStringList { "--calibration", "0", "settings" } << none << 64 << none
        << QByteArray("--calibration: '0' is not a position in 1..96");
    QTest::newRow("command and script")
        << QStringList { "--script", "-", "reset" } << none << 64 << none << QByteArray("not both");
    QTest::newRow("bad script line")
        << QStringList { "--script", "-" } << QByteArray("reset\n\ntrain 4\n") << 64 << none
        << QByteArray("stdin:3: train: PULSES '4' is not in 1..3");
    QTest::newRow("placeholder in a value") << QStringList { "--current", "%3", "settings" } << none
                                            << 64 << none << QByteArray("'%3' is not a position");

    // The window's locks hold through a script until released as the window releases them.
    const QStringList script { "--simulated", "--script", "-" };
    QTest::newRow("released lock")
        << script << QByteArray("run-once 1\nrun-once 1 off\nreset --current=3\n") << 0
        << QByteArray("run-once mode=1 sent=1 result=ok\nrun-once mode=1 line=off sent=1 "
                      "result=ok\nreset sent=1 result=ok\n")
        << none;
    QTest::newRow("locked by run-once 1")
        << script << QByteArray("run-once 1\nchange-current\n") << 64 << none
        << QByteArray("stdin:2: change-current: locked while Run Once 1 is on");
    QTest::newRow("list") << QStringList { "--simulated", "list" } << none << 0
                          << QByteArray("list location=sim-1 openable=1 answers=1\n") << none;
    QTest::newRow("board not present")
        << QStringList { "--simulated", "--board", "sim-2", "reset" } << none << 1 << none
        << QByteArray("qd7310-ctl: no board at sim-2; boards present: sim-1\n");
    QTest::newRow("locked by run") << script << QByteArray("run on\nrun-once 1 off\n") << 64 << none
                                   << QByteArray("stdin:2: run-once 1 off: locked");
    // An empty location would mean any board: both programs refuse it the same way.
    QTest::newRow("empty board") << QStringList { "--board", "", "list" } << none << 64 << none
                                 << QByteArray("qd7310-ctl: --board: give a location");
    QTest::newRow("window, empty board")
        << QStringList { "qd7310-eval", "--board=" } << none << 64 << none
        << QByteArray("qd7310-eval: --board: give a location");

    // Setups and exports need no board; a save that fails keeps nothing half-written.
    QTest::newRow("save fails") << QStringList { "save-setup", "/not-there/s.qd7310" } << none << 73
                                << none
                                << QByteArray("qd7310-ctl: /not-there/s.qd7310: cannot save: ");
    QTest::newRow("export format") << QStringList { "export", "pdf", "train", "3" } << none << 64
                                   << none << QByteArray("FORMAT 'pdf' is not c, csv or json");
    QTest::newRow("refused setup at the start")
        << QStringList { "--simulated", "--setup", "/not-there/led 3.qd7310", "train", "3" } << none
        << 64 << none << QByteArray("qd7310-ctl: /not-there/led 3.qd7310: cannot read: ");
    // A quoted FILE word may hold blanks; \" is a quote, \\ a backslash, any other \ itself.
    QTest::newRow("quoted path")
        << QStringList { "--script", "-" }
        << QByteArray(R"(save-setup "/not-there/Lab Data/a\"b\\c\d.qd7310")") << 73 << none
        << QByteArray(R"(stdin:1: /not-there/Lab Data/a"b\c\d.qd7310: cannot save: )");
    QTest::newRow("quote not closed")
        << QStringList { "--script", "-" } << QByteArray(R"(save-setup "a b)") << 64 << none
        << QByteArray("stdin:1: a double quote is not closed");
    QTest::newRow("quote stuck on")
        << QStringList { "--script", "-" } << QByteArray(R"(save-setup "a"b)") << 64 << none
        << QByteArray(R"(a blank must follow the closing quote of "a")");

    // A session: starting settings, a reply per request numbered by input line; quit ends it.
    QTest::newRow("session")
        << QStringList { "--simulated", "--current", "3", "session" }
        << QByteArray("change-current\r\n\r\n# c\ntrain 4\nquit\nreset\n") << 0
        << QByteArray("{\"program\":\"qd7310-ctl\",\"protocol\":1,\"version\":\"" QD7310_VERSION
                      "\"}\n{\"command\":\"change-current\",\"current\":\"10.0 mA\",\"ok\":true,"
                      "\"request\":1,\"result\":\"ok\",\"sent\":4}\n{\"error\":\"train: PULSES "
                      "'4' is not in 1..3\",\"exit\":64,\"ok\":false,\"request\":4}\n")
        << none;

    // Raw bytes: a line with a NUL or over 64 KiB gets a reply of its own, quoted in short.
    const QByteArray greeting
        = "{\"program\":\"qd7310-ctl\",\"protocol\":1,\"version\":\"" QD7310_VERSION "\"}\n";
    const auto read = [](int request, int reg) {
        return QByteArray("{\"command\":\"spi-read\",\"ok\":true,\"reg\":")
            + QByteArray::number(reg) + ",\"request\":" + QByteArray::number(request)
            + ",\"result\":\"ok\",\"value\":0}\n";
    };
    const auto bad = [](int request, const QByteArray &error) {
        return "{\"error\":\"" + error
            + "\",\"exit\":64,\"ok\":false,\"request\":" + QByteArray::number(request) + "}\n";
    };
    QTest::newRow("session, NUL bytes and a line too long")
        << QStringList { "--simulated", "session" }
        << QByteArrayLiteral("status\0junk\nspi-read 1\n\0\n") + QByteArray(70000, 'a')
            + "\r\nspi-read 2\r\n"
        << 0
        << greeting + bad(1, "a NUL byte in the line: 'status\\\\x00junk'") + read(2, 1)
            + bad(3, "a NUL byte in the line: '\\\\x00'")
            + bad(4, "line too long: over 65536 bytes: '" + QByteArray(80, 'a') + "...'")
            + read(5, 2)
        << none;
    QTest::newRow("script, NUL byte")
        << script << QByteArrayLiteral("spi-read 1\ns\0x\n") << 64 << none
        << QByteArray("qd7310-ctl: stdin:2: a NUL byte in the line: 's\\x00x'\n");
    QTest::newRow("control characters echoed")
        << QStringList { "--simulated", "--board", "a\nb\x1b", "list" } << none << 1 << none
        << QByteArray("qd7310-ctl: no board at a\\nb\\x1b; boards present: sim-1\n");
}

void TestCtl::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, script);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, error);

    QProcess ctl;
    const bool window = arguments.value(0) == QLatin1String("qd7310-eval");
    ctl.start(window ? QStringLiteral(QD7310_EVAL) : QStringLiteral(QD7310_CTL),
        arguments.mid(window ? 1 : 0));
    QVERIFY(ctl.waitForStarted());
    ctl.write(script);
    ctl.closeWriteChannel();
    QVERIFY(ctl.waitForFinished(10000));
    QByteArray err = ctl.readAllStandardError().replace("\r\n", "\n");
    if (window) // the platform plugin may speak of the machine's set-up first
        err = err.mid(err.indexOf("qd7310-eval: "));
    QCOMPARE(ctl.readAllStandardOutput().replace("\r\n", "\n"), output);
    QVERIFY2(err.contains(error), err.constData());
    QCOMPARE(err.count('\n'), error.isEmpty() ? 0 : 1);
    QCOMPARE(ctl.exitCode(), exitCode);
}

void TestCtl::badScriptSendsNothing()
{
    // A fault on the last line: the link is never made, so the trace holds not even a search.
    // The script's name holds a placeholder, which the error keeps as it is.
    QTemporaryDir dir;
    const QString trace = dir.filePath("trace.txt");
    QFile script(dir.filePath("sweep%2.txt"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("prepare\ntrain 3 --current 2\nspi-write 1 2 3\n");
    script.close();
    QProcess ctl;
    ctl.start(QStringLiteral(QD7310_CTL),
        { "--simulated", "--trace", trace, "--script", script.fileName() });
    QVERIFY(ctl.waitForFinished(10000));
    QCOMPARE(ctl.exitCode(), 64);
    QCOMPARE(ctl.readAllStandardOutput(), QByteArray());
    QVERIFY(ctl.readAllStandardError().contains("sweep%2.txt:3: spi-write"));
    QFile file(trace);
    QVERIFY(!file.exists() || (file.open(QIODevice::ReadOnly) && file.readAll().isEmpty()));

    // Once the script is right, the trace file holds the search and every exchange.
    QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate) && script.write("spi-read 15"));
    script.close();
    ctl.start(QStringLiteral(QD7310_CTL),
        { "--simulated", "--trace", trace, "--script", script.fileName() });
    QVERIFY(ctl.waitForFinished(10000) && ctl.exitCode() == 0);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text)); // CR LF on Windows
    const QByteArray written = file.readAll();
    QVERIFY2(written.startsWith("usb_hid_init\n") && written.contains("\nspi_read\n"), written);
}

void TestCtl::lostResults()
{
    // A reader that goes away, as head does, ends the program quietly, as any filter.
    QProcess writer;
    QProcess reader; // reads nothing and is gone at once
    writer.setStandardOutputProcess(&reader);
    // The reader starts first: under Wine, a pipe made with the writer's start stays open after
    // the reader ends, and the writer never finds it closed.
    reader.start(QStringLiteral(QD7310_CTL), { "--version" });
    writer.start(QStringLiteral(QD7310_CTL), { "--simulated", "--script", "-" });
    QVERIFY(writer.waitForStarted() && reader.waitForFinished(10000));
    writer.write("wait 300\nsettings\n");
    writer.closeWriteChannel();
    QVERIFY(writer.waitForFinished(10000));
    QCOMPARE(writer.exitCode(), 141);
    QCOMPARE(writer.readAllStandardError(), QByteArray());

    if (!QFile::exists("/dev/full"))
        QSKIP("needs /dev/full");
    for (const QStringList &arguments :
        { QStringList { "--simulated", "spi-write", "1", "2" }, QStringList { "--help-all" } }) {
        QProcess ctl;
        ctl.setStandardOutputFile("/dev/full");
        ctl.start(QStringLiteral(QD7310_CTL), arguments);
        QVERIFY(ctl.waitForFinished(10000));
        QCOMPARE(ctl.exitCode(), 74);
        QVERIFY(ctl.readAllStandardError().startsWith("qd7310-ctl: cannot write the results: "));
    }
}

namespace {

// Runs a script line as the tool does, quietly.
Ctl::Result runLine(SimulatedBoard &board, const QString &line)
{
    const BoardTraceCapture quiet;
    Ctl::Session session([&board] { return std::make_unique<USBHid2>(board.platform(), 50); });
    std::optional<Ctl::Request> request;
    Ctl::parseScriptLine(line, 1, &request);
    return session.run(*request);
}

enum Fault { Absent, Unopenable, HeldElsewhere, NoAnswer, Stalled, InitRefused };

} // namespace

void TestCtl::boardFaults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("no board") << int(Absent) << "status" << 1 << "board not found";
    QTest::newRow("advice") << int(Unopenable) << "reset" << 1
                            << "is present but cannot be opened: ";
    QTest::newRow("in use") << int(HeldElsewhere) << "reset" << 1
                            << "is in use by another program: close that program first";
    QTest::newRow("no answer") << int(NoAnswer) << "spi-write 1 2" << 2
                               << "spi-write: the board did not answer";
    QTest::newRow("not taken") << int(Stalled) << "train 1" << 2
                               << "train: the board did not take the command";
    QTest::newRow("refused init-controller")
        << int(InitRefused) << "init-controller" << 2
        << "init-controller: the board refused it with status ";
}

void TestCtl::boardFaults()
{
    QFETCH(int, fault);
    QFETCH(QString, command);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    SimulatedBoard board;
    board.setPresent(fault != Absent);
    board.setBoardOpenable(fault != Unopenable);
    board.setFailStringReads(fault == NoAnswer);
    board.setBoardHeldElsewhere(fault == HeldElsewhere);
    board.setStallWrites(fault == Stalled);
    if (fault == InitRefused)
        board.firmware().setCommandStatus(0x00, BoardFirmware::BadParameter);
    const Ctl::Result result = runLine(board, command);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.error.contains(error), qPrintable(result.error));
}

void TestCtl::prepareAsTheWindow()
{
    // The window prepares a board it finds with ChipProgram::prepareBoard.
    SimulatedBoard byWindow;
    {
        const BoardTraceCapture quiet;
        USBHid2 link(byWindow.platform(), 50);
        QVERIFY(link.usb_hid_init());
        ChipProgram::prepareBoard(link);
    }
    SimulatedBoard byCtl;
    QCOMPARE(runLine(byCtl, "prepare").exitCode, 0);
    const auto &sent = byCtl.reports();
    QVERIFY(std::equal(sent.begin(), sent.end(), byWindow.reports().begin(),
        byWindow.reports().end(), [](const auto &a, const auto &b) { return a.bytes == b.bytes; }));
}

void TestCtl::severalBoards()
{
    // Three boards in a row: the first does not answer, the second cannot be opened.
    SimulatedBoard boards[3];
    for (int i = 0; i < 3; ++i)
        boards[i].setLocation("1-" + std::to_string(i + 1));
    boards[0].setFailStringReads(true);
    boards[1].setBoardOpenable(false);
    const auto session = [&boards](const char *location) {
        return Ctl::Session([&boards, location] {
            auto link = std::make_unique<USBHid2>(
                SimulatedBoard::platform({ &boards[0], &boards[1], &boards[2] }), 50);
            link->setBoardLocation(location);
            return link;
        });
    };
    const BoardTraceCapture quiet;
    std::optional<Ctl::Request> request;
    Ctl::parseScriptLine("list", 1, &request);
    QStringList lines;
    for (const Ctl::Result &result : session("").runAll(*request))
        lines.append(Ctl::formatText(result));
    QCOMPARE(lines,
        QStringList({ "list location=1-1 openable=1 answers=0",
            "list location=1-2 openable=0 answers=0 advice=\"" + QString(systemUnopenableAdvice())
                + '"',
            "list location=1-3 openable=1 answers=1" }));

    // A named board, and only it, hears the command; a missing one names those present.
    for (SimulatedBoard &board : boards)
        board.clearReports();
    Ctl::parseScriptLine("reset", 1, &request);
    QCOMPARE(session("1-3").run(*request).exitCode, 0);
    QCOMPARE(boards[2].reports().size(), std::size_t(1));
    QVERIFY(boards[0].reports().empty() && boards[1].reports().empty());
    const auto opened
        = [&boards] { return boards[0].boardOpenCount(0) + boards[2].boardOpenCount(0); };
    const int before = opened();
    QCOMPARE(session("1-9").run(*request).error,
        QString("no board at 1-9; boards present: 1-1, 1-2, 1-3"));
    QCOMPARE(opened(), before);

    // A location as Windows may give it still leaves every field splittable.
    Ctl::Result listed;
    listed.command = "list";
    listed.add("location", "USB\\VID_1209&PID_0001\\\"7\"\t\n");
    listed.add("openable", 1);
    QCOMPARE(Ctl::formatText(listed),
        QString("list location=\"USB\\\\VID_1209&PID_0001\\\\\\\"7\\\"\\t\\n\" openable=1"));
}

namespace {

// Serves `lines` to a session on `board`; `between` is called after each reply with its number.
QList<QJsonObject> serveLines(
    SimulatedBoard &board, const QByteArray &lines, const std::function<void(int)> &between = {})
{
    Ctl::Session session([&board] { return std::make_unique<USBHid2>(board.platform(), 50); });
    QList<QJsonObject> replies;
    std::FILE *in = std::tmpfile();
    if (!in)
        return replies;
    std::fputs(lines.constData(), in);
    std::rewind(in);
    const BoardTraceCapture quiet;
    Ctl::serve(session, in, [&](const QByteArray &line) {
        replies.append(QJsonDocument::fromJson(line).object());
        if (between)
            between(int(replies.size()));
        return 0;
    });
    std::fclose(in);
    return replies;
}

} // namespace

void TestCtl::sessionKeepsTheBoard()
{
    SimulatedBoard board;
    board.planFault(3, SimulatedBoard::Fault::Unplug); // the spi-write, after the list's probe
    const QList<QJsonObject> replies = serveLines(board,
        "spi-read 1\nlist\nspi-write 2 3\nrun-once 1\nchange-current --current 2\n"
        "run-once 1 off\nrun-once 1\nreset\n",
        [&board](int reply) {
            if (reply == 3) { // plugged in again, and refuses its first command
                board.setPresent(true);
                board.planFault(1, SimulatedBoard::Fault::ErrorStatus);
            }
        });
    // exit, reconnected: the listing leaves the board held; a board that did not take a command
    // is searched for again, and found again says so; a command that reached the board takes its
    // lock, refused or not, and only a success releases it.
    const int expected[8][2]
        = { { 0, 0 }, { 0, 0 }, { 2, 0 }, { 2, 1 }, { 64, 0 }, { 0, 0 }, { 0, 0 }, { 64, 0 } };
    QCOMPARE(replies.size(), 8);
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(replies[i]["request"].toInt(), i + 1);
        QCOMPARE(replies[i]["exit"].toInt(), expected[i][0]);
        QCOMPARE(replies[i]["ok"].toBool(), !expected[i][0]);
        QCOMPARE(replies[i]["reconnected"].toBool(), bool(expected[i][1]));
    }
    QCOMPARE(QJsonDocument(replies[1]["boards"].toArray()).toJson(QJsonDocument::Compact),
        "[{\"answers\":1,\"location\":\"sim-1\",\"openable\":1}]");
    QCOMPARE(replies[2]["result"].toString(), QString("not-taken"));
    QCOMPARE(replies[3]["status"].toInt(), 0xE1);
    QCOMPARE(board.boardOpenCount(0), 2);
}

namespace {

// Runs qd7310-ctl to its end; returns its exit code, and its output and error.
int ctl(const QStringList &arguments, QByteArray *out)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(QD7310_CTL), arguments);
    if (!process.waitForFinished(10000))
        return -1;
    *out = process.readAllStandardOutput();
    return process.exitCode();
}

} // namespace

void TestCtl::setupRoundTrip()
{
    // Random positions as options, saved, then given as the setup: the same labels, the same
    // bytes on the wire.
    QTemporaryDir dir;
    const QString setup = dir.filePath("bench 3.qd7310");
    QRandomGenerator random(7310);
    QStringList options;
    for (const ChipSettings::Setting &s : ChipSettings::settings)
        options << QLatin1String("--") + s.name
                << QString::number(random.bounded(s.minimum, s.maximum + 1));
    QByteArray out;
    QCOMPARE(ctl(options + QStringList { "save-setup", setup }, &out), 0);
    const QStringList train { "--simulated", "--trace", "-", "train", "3" };
    QByteArray expected;
    QCOMPARE(ctl(options + train, &expected), 0);
    QCOMPARE(ctl(QStringList { "--setup", setup } + train, &out), 0);
    QVERIFY(expected.contains("spi_write"));
    QCOMPARE(out, expected);

    // An option beside the setup wins over it.
    QCOMPARE(ctl({ "--setup", setup, "--current", "7", "settings" }, &out), 0);
    QVERIFY(out.contains(" current=\"20.0 mA\" "));
}

void TestCtl::refusedSetup_data()
{
    addRefusedSetupRows();
}

void TestCtl::refusedSetup()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString setup = dir.filePath("led 3.qd7310");
    QFile file(setup);
    QVERIFY(bytes.isNull() || (file.open(QIODevice::WriteOnly) && file.write(bytes) >= 0));
    file.close();

    // Refused in a session: an error naming the file, and the settings stay as they were.
    SimulatedBoard board;
    const QList<QJsonObject> replies = serveLines(
        board, "settings --current 4\nload-setup \"" + setup.toUtf8() + "\"\nsettings\n");
    QCOMPARE(replies.size(), 3);
    QCOMPARE(replies[1]["exit"].toInt(), 64);
    const QString error = replies[1]["error"].toString();
    QVERIFY2(error.startsWith(setup + ": ") && error.contains(problem), qPrintable(error));
    QJsonObject after = replies[2];
    after["request"] = 1;
    QCOMPARE(after, replies[0]);
}

void TestCtl::lostAnswerAndReplug()
{
    // The answer to run on is lost, but the board drove the run line all the same. Settings
    // change with a line that is accepted, whatever the board does, and never with a refused one.
    // Then plugged in again in the same port: the listing finds it answering, the next command
    // says it reconnected, and sent counts only the reports that went out.
    SimulatedBoard board;
    board.planFault(2, SimulatedBoard::Fault::NoAnswer); // run on
    board.planFault(5, SimulatedBoard::Fault::NoAnswer); // change-current's first write
    const QList<QJsonObject> replies = serveLines(board,
        "pin-dir 1 6 1\nrun on\npin-read 1 6\ntrain 1 --current 4\nsettings\nrun off\n"
        "change-current --current 4\ntrain 9 --current 3\nsettings\n"
        "spi-read 1\nlist\nlist\nspi-read 1\ntrain 2\n",
        [&board](int reply) {
            if (reply == 10) {
                board.setPresent(false);
                board.setPresent(true);
            }
            if (reply == 13)
                board.planFault(3, SimulatedBoard::Fault::StalledWrite);
        });
    const int exits[] = { 0, 2, 0, 64, 0, 0, 2, 64, 0, 0 };
    QCOMPARE(replies.size(), 14);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(replies[i]["exit"].toInt(), exits[i]);
    QCOMPARE(replies[1]["result"].toString(), QString("no-answer"));
    QCOMPARE(replies[2]["value"].toInt(), 1);
    QVERIFY(replies[3]["error"].toString().contains("locked while Run is on"));
    QCOMPARE(replies[4]["current"].toString(), QString("2.5 mA"));
    QCOMPARE(replies[8]["current"].toString(), QString("12.5 mA"));
    for (int i : { 10, 11 })
        QCOMPARE(QJsonDocument(replies[i]["boards"].toArray()).toJson(QJsonDocument::Compact),
            "[{\"answers\":1,\"location\":\"sim-1\",\"openable\":1}]");
    QVERIFY(replies[12]["ok"].toBool() && replies[12]["reconnected"].toBool());
    QCOMPARE(replies[13]["result"].toString(), QString("not-taken"));
    QCOMPARE(replies[13]["sent"].toInt(), 11);
}

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
