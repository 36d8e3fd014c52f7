// qd7310-ctl as a script sees it: what it prints, where, and its exit codes; and that nothing
// reaches the board when any part of the command or script is wrong. The board's faults are
// steered in-process, through the session the tool runs.
#include "boardtrace.h"
#include "chipprogram.h"
#include "ctlcommand.h"
#include "ctlsession.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCtl : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void trace_data();
    void trace();
    void lostResults();
    void boardFaults_data();
    void boardFaults();
    void prepareAsTheWindow();
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
    QTest::newRow("placeholder in a value")
        << QStringList { "--current", "%3", "settings" } << none << 64 << none
        << QByteArray("--current: '%3' is not a position in 0..7");
    QTest::newRow("help-all") << QStringList { "--help-all" } << none << 0 << QByteArray() << none;

    // The window's locks hold through a script, and are released as the window releases them.
    QTest::newRow("released locks")
        << QStringList { "--simulated", "--script", "-" }
        << QByteArray("run-once 1\nrun-once 1 off\nrun on\nrun off\nchange-current --current=3\n")
        << 0
        << QByteArray("run-once mode=1 sent=1 result=ok\n"
                      "run-once mode=1 line=off sent=1 result=ok\n"
                      "run line=on sent=1 result=ok\n"
                      "run line=off sent=1 result=ok\n"
                      "change-current current=\"10.0 mA\" sent=4 result=ok\n")
        << QByteArray();
    QTest::newRow("locked by run-once 1")
        << QStringList { "--simulated", "--script", "-" }
        << QByteArray("run-once 1\nchange-current\nrun-once 1\n") << 64 << none
        << QByteArray("stdin:2: change-current: locked while Run Once 1 is on; release it first "
                      "with run-once 1 off");
    QTest::newRow("locked by run")
        << QStringList { "--simulated", "--script", "-" } << QByteArray("run on\nrun-once 1 off\n")
        << 64 << none << QByteArray("stdin:2: run-once 1 off: locked while Run is on");
}

void TestCtl::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, script);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, error);

    QProcess ctl;
    ctl.start(QStringLiteral(QD7310_CTL), arguments);
    QVERIFY(ctl.waitForStarted());
    ctl.write(script);
    ctl.closeWriteChannel();
    QVERIFY(ctl.waitForFinished(10000));
    const QByteArray err = ctl.readAllStandardError().replace("\r\n", "\n");
    const QByteArray out = ctl.readAllStandardOutput().replace("\r\n", "\n");
    if (arguments.contains("--help-all"))
        QVERIFY2(out.contains("\nExit codes:\n") && out.contains("  74  "), out.constData());
    else
        QCOMPARE(out, output);
    QVERIFY2(err.contains(error), err.constData());
    QCOMPARE(err.count('\n'), error.isEmpty() ? 0 : 1);
    QCOMPARE(ctl.exitCode(), exitCode);
}

void TestCtl::trace_data()
{
    QTest::addColumn<QByteArray>("script"); // in a file whose name holds a placeholder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("error");
    QTest::addColumn<QByteArrayList>("trace"); // lines the trace file holds; none: it is empty

    // A fault on the last line: the link is never made, so the trace holds not even a search.
    QTest::newRow("bad script sends nothing")
        << QByteArray("prepare\ntrain 3 --current 2\nspi-write 1 2 3\n") << 64
        << QByteArray("%2.txt:3: spi-write: takes 2 argument(s), 3 given") << QByteArrayList();
    QTest::newRow("the trace in its file")
        << QByteArray("spi-read 15\n") << 0 << QByteArray()
        << QByteArrayList { "usb_hid_init\n", "\nspi_read\naddr =  0000001e\n" };
}

void TestCtl::trace()
{
    QFETCH(QByteArray, script);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, error);
    QFETCH(QByteArrayList, trace);

    QTemporaryDir dir;
    const QString tracePath = dir.filePath("trace.txt");
    const QString scriptPath = dir.filePath("sweep %2.txt");
    QFile scriptFile(scriptPath);
    QVERIFY(scriptFile.open(QIODevice::WriteOnly) && scriptFile.write(script) == script.size());
    scriptFile.close();

    QProcess ctl;
    ctl.start(QStringLiteral(QD7310_CTL),
        { "--simulated", "--trace", tracePath, "--script", scriptPath });
    QVERIFY(ctl.waitForFinished(10000));
    QCOMPARE(ctl.exitCode(), exitCode);
    const QByteArray err = ctl.readAllStandardError();
    QVERIFY2(err.contains(error), err.constData());
    QFile file(tracePath);
    const QByteArray written = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    QCOMPARE(written.isEmpty(), trace.isEmpty());
    for (const QByteArray &line : trace)
        QVERIFY2(written.contains(line), written.constData());
}

void TestCtl::lostResults()
{
    if (!QFile::exists("/dev/full"))
        QSKIP("needs /dev/full");
    QProcess ctl;
    ctl.setStandardOutputFile("/dev/full");
    ctl.start(QStringLiteral(QD7310_CTL), { "--simulated", "spi-write", "1", "2" });
    QVERIFY(ctl.waitForFinished(10000));
    QCOMPARE(ctl.exitCode(), 74);
    QVERIFY(ctl.readAllStandardError().startsWith("qd7310-ctl: cannot write the results: "));
}

namespace {

enum Fault { Absent, Unopenable, NoAnswer, InitRefused };

// Runs the lines as a script would, on a simulated board with the fault; the last result.
Ctl::Result runScript(SimulatedBoard &board, const QStringList &lines)
{
    const BoardTraceCapture quiet;
    Ctl::Session session([&board] { return std::make_unique<USBHid2>(board.platform(), 50); });
    Ctl::Result result;
    for (const QString &line : lines) {
        std::optional<Ctl::Request> request;
        if (!Ctl::parseScriptLine(line, 1, &request).isEmpty() || !request)
            return Ctl::Result();
        result = session.run(*request);
    }
    return result;
}

} // namespace

void TestCtl::boardFaults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");

    QTest::newRow("no board") << int(Absent) << "status" << 1 << "board not found";
    QTest::newRow("no answer to the probe")
        << int(NoAnswer) << "status" << 2 << "status: the board was found but does not answer";
    QTest::newRow("no answer to a write")
        << int(NoAnswer) << "spi-write 1 2" << 2 << "spi-write: the board did not answer";
    QTest::newRow("init-controller refused") << int(InitRefused) << "init-controller" << 2
                                             << "init-controller: the board did not answer, or "
                                                "refused it";
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
    if (fault == InitRefused)
        board.firmware().setCommandStatus(0x00, BoardFirmware::BadParameter);
    const Ctl::Result result = runScript(board, { command });
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.error, error);
}

void TestCtl::prepareAsTheWindow()
{
    // The window prepares a board it finds with ChipProgram::prepareBoard; prepare sends the same.
    SimulatedBoard byWindow;
    {
        const BoardTraceCapture quiet;
        USBHid2 link(byWindow.platform(), 50);
        QVERIFY(link.usb_hid_init());
        ChipProgram::prepareBoard(link);
    }

    SimulatedBoard byCtl;
    QCOMPARE(runScript(byCtl, { "prepare" }).exitCode, 0);
    QCOMPARE(byCtl.reports().size(), std::size_t(27));
    for (std::size_t i = 0; i < byCtl.reports().size(); ++i)
        QVERIFY(byCtl.reports()[i].bytes == byWindow.reports()[i].bytes);
}

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
