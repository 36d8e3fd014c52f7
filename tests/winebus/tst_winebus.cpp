#include "boardidentity.h"
#include "boardwindow.h"
#include "emulationsupport.h"
#include "usbhid2.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

// What is new to Windows on the Wine bus: handles over many searches, one program of the tool at
// a time on a board, the window following a board that is unplugged and plugged back in, and a
// qd7310-ctl session's bytes on a Windows console program's standard output.
class TestWineBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QD7310_REQUIRE_EMULATED_BUS(); }
    void init() { bus = std::make_unique<EmulatedUsbBus>(); }
    void cleanup() { bus.reset(); }

    void searchesLeaveNoHandles();
    void heldBoardRefusesAnotherProgram();
    void windowFollowsUnplugAndReplug();
    void twoBoardsEachReachedByLocation();
    void sessionRepliesEndInLfAlone();

private:
    std::unique_ptr<EmulatedUsbBus> bus;
};

namespace {

const UsbDeviceProfile kBoard { UsbFunction::Board, kBoardVendorId, kBoardProductId };

struct CtlRun
{
    int exitCode = -1;
    QByteArray rawOutput; // the bytes as the program wrote them
    QByteArray output; // with CR LF read as LF
    QByteArray error;
};

CtlRun runCtl(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess ctl;
    ctl.start(QStringLiteral(QD7310_CTL), arguments);
    CtlRun run;
    if (!ctl.waitForStarted(30000))
        return run;
    ctl.write(input);
    ctl.closeWriteChannel();
    if (!ctl.waitForFinished(30000))
        return run;
    run.exitCode = ctl.exitCode();
    run.rawOutput = ctl.readAllStandardOutput();
    run.output = QByteArray(run.rawOutput).replace("\r\n", "\n");
    run.error = ctl.readAllStandardError().replace("\r\n", "\n");
    return run;
}

// The steps the board received, decoded as the window tests decode them, in one line.
QString received(const QList<UsbEvent> &events)
{
    QStringList steps;
    for (const UsbEvent &event : events) {
        if (event.kind != UsbEvent::InterruptOut)
            continue;
        SimulatedBoard::ReceivedReport report;
        std::copy(event.data.begin(), event.data.end(), report.bytes.begin() + 1);
        steps << BoardWindow::decode(report);
    }
    return steps.join(QLatin1Char(' '));
}

} // namespace

void TestWineBus::searchesLeaveNoHandles()
{
    const QString node = bus->plug(kBoard);
    USBHid2 link(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1); // the first search opens what the link keeps
    const int before = processHandleCount();
    QVERIFY(before > 0);
    for (int search = 0; search < 1000; ++search) {
        capture.clear();
        QCOMPARE(link.usb_hid_init(), 1);
    }
    QCOMPARE(processHandleCount(), before);
    QCOMPARE(link.spi_write(3, 0x21), 1);
    QCOMPARE(bus->firmware(node).spiRegister(3), std::uint8_t(0x21));
}

void TestWineBus::heldBoardRefusesAnotherProgram()
{
    const QString node = bus->plug(kBoard);
    bus->firmware(node).setSpiRegister(15, 0x5A);
    {
        USBHid2 holder(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
        BoardTraceCapture capture;
        QCOMPARE(holder.usb_hid_init(), 1);
        bus->clearEvents();
        const CtlRun refused = runCtl({ "spi-read", "15" });
        // It opens the board, then finds it claimed by the holder. Wine enforces no share mode
        // on a HID device, so a program outside the tool that opens the board exclusively still
        // needs a real Windows machine to be seen.
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.error, "qd7310-ctl: " + boardInUseMessage() + "\n");
        QVERIFY(refused.output.isEmpty());
        QCOMPARE(bus->events(node).size(), 0); // nothing of it reached the board
        QCOMPARE(holder.spi_read(15), 0x5A); // and the holder's exchanges go on
    }
    const CtlRun served = runCtl({ "spi-read", "15" });
    QCOMPARE(served.exitCode, 0);
    QVERIFY2(served.output.contains("value=90 result=ok"), served.output.constData());
}

void TestWineBus::windowFollowsUnplugAndReplug()
{
    const QString first = bus->plug(kBoard);
    BoardTraceCapture trace;
    MainWindow window([] {
        return std::make_unique<USBHid2>(
            createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    });
    const auto connection = [&window] {
        const QList<QLabel *> labels = window.statusBar()->findChildren<QLabel *>();
        return labels.isEmpty() ? QString() : labels.last()->text();
    };
    const auto check
        = [&window] { QVERIFY(QMetaObject::invokeMethod(&window, "check_conn_status")); };
    const QString preparation = BoardWindow::preparation().join(QLatin1Char(' '));
    QCOMPARE(connection(), QString("connected"));
    QVERIFY2(received(bus->events(first)).contains(preparation),
        qPrintable(received(bus->events(first))));

    bus->unplug(first);
    check();
    QCOMPARE(connection(), QString("not connected"));
    check();
    QCOMPARE(connection(), QString("not connected"));

    // Back as a new device, it is prepared afresh.
    const QString second = bus->plug(kBoard);
    check();
    QCOMPARE(connection(), QString("connected"));
    QVERIFY2(received(bus->events(second)).contains(preparation),
        qPrintable(received(bus->events(second))));
    QVERIFY(bus->firmware(second).initialised());
}

void TestWineBus::twoBoardsEachReachedByLocation()
{
    const QString first = bus->plug(kBoard);
    const QString second = bus->plug(kBoard);
    bus->firmware(first).setSpiRegister(15, 0x11);
    bus->firmware(second).setSpiRegister(15, 0x22);

    // A Windows location holds backslashes, which the text form quotes; JSON gives it as it is.
    const CtlRun listing = runCtl({ "--json", "list" });
    QCOMPARE(listing.exitCode, 0);
    const QList<QByteArray> lines = listing.output.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QStringList locations;
    for (const QByteArray &line : lines) {
        const QJsonObject board = QJsonDocument::fromJson(line).object();
        QVERIFY2(board.value("openable").toInt() == 1 && board.value("answers").toInt() == 1,
            line.constData());
        locations << board.value("location").toString();
    }
    QVERIFY(locations.at(0) != locations.at(1));

    // Each location reaches its own board: the second answers with its own register.
    bus->clearEvents();
    const CtlRun reached = runCtl({ "--board", locations.at(1), "spi-read", "15" });
    QCOMPARE(reached.exitCode, 0);
    QVERIFY2(reached.output.contains("value=34 result=ok"), reached.output.constData());
    QCOMPARE(bus->events(first).size(), 0);
}

// A client reads the session's replies by LF on every system: requests in CR LF, as a Windows
// program writes them, get replies ending in LF alone, one per request.
void TestWineBus::sessionRepliesEndInLfAlone()
{
    const QString node = bus->plug(kBoard);
    const CtlRun session = runCtl({ "session" }, "spi-write 1 2\r\nspi-read 1\r\nfrobnicate 3\r\n");
    QCOMPARE(session.exitCode, 0);
    // The greeting, three replies and nothing after the last LF; no CR anywhere.
    const QList<QByteArray> lines = session.rawOutput.split('\n');
    QCOMPARE(lines.size(), 5);
    QVERIFY2(!session.rawOutput.contains('\r')
            && lines.at(0).startsWith("{\"program\":\"qd7310-ctl\"")
            && lines.at(1).contains("\"ok\":true") && lines.at(2).endsWith("\"value\":2}")
            && lines.at(3).contains("\"exit\":64"),
        session.rawOutput.constData());
    QCOMPARE(bus->firmware(node).spiRegister(1), std::uint8_t(2));
}

QTEST_MAIN(TestWineBus)
#include "tst_winebus.moc"
