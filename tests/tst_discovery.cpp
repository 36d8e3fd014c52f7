#include "boardtrace.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QtTest>

namespace {
using Device = SimulatedBoard::Device;
constexpr std::uint16_t kVid = 0x1209;
constexpr std::uint16_t kPid = 0x0001;
const QByteArray kBoardLines = "Found USB device\nVID = 0x 00001209\nPID = 0x 00000001\n";
const QByteArray kUnopenableBoard
    = QByteArray("QD7310 board 0x1209:0x0001 is present but cannot be opened: ")
    + systemUnopenableAdvice();

// Collects the debug channel's messages while it lives, in place of QtTest's own handler.
class DebugMessages
{
public:
    DebugMessages() : mPrevious(qInstallMessageHandler(record)) { messages().clear(); }
    ~DebugMessages() { qInstallMessageHandler(mPrevious); }
    DebugMessages(const DebugMessages &) = delete;
    DebugMessages &operator=(const DebugMessages &) = delete;

    static QStringList &messages()
    {
        static QStringList list;
        return list;
    }

private:
    static void record(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtDebugMsg)
            messages().append(message);
    }
    QtMessageHandler mPrevious;
};
} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void search_data();
    void search();
    void twoBoardsTakeTheFirst();
    void boardAtLocation_data();
    void boardAtLocation();
    void listBoards();
    void secondSearchWhileConnected();
    void unplugAndReplug();
    void unopenableOthersAreNotNamed_data();
    void unopenableOthersAreNotNamed();
    void unopenableBoardIsNamedOnce();
    void destructionClosesTheBoard();
    void onlySearchRaisesTheFlag();
};

void TestDiscovery::search_data()
{
    QTest::addColumn<QList<int>>("before"); // vid, pid, openable, idsReadable per device
    QTest::addColumn<bool>("boardPresent");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("trace");

    QTest::newRow("nothing") << QList<int> {} << false << 0 << QByteArray("usb_hid_init\n");
    QTest::newRow("board alone") << QList<int> {} << true << 1 << "usb_hid_init\n" + kBoardLines;
    QTest::newRow("board's vendor, other product")
        << QList<int> { kVid, 0x0002, 1, 1 } << false << 0
        << QByteArray("usb_hid_init\nFound USB device\nVID = 0x 00001209\nPID = 0x 00000002\n");
    QTest::newRow("other vendor, board's product")
        << QList<int> { 0x046D, kPid, 1, 1 } << false << 0
        << QByteArray("usb_hid_init\nFound USB device\nVID = 0x 0000046d\nPID = 0x 00000001\n");
    QTest::newRow("lookalikes before the board")
        << QList<int> { kVid, 0x0002, 1, 1, 0x046D, kPid, 1, 1 } << true << 1
        << "usb_hid_init\nFound USB device\nVID = 0x 00001209\nPID = 0x 00000002\n"
           "Found USB device\nVID = 0x 0000046d\nPID = 0x 00000001\n"
            + kBoardLines;
    QTest::newRow("unopenable skipped silently")
        << QList<int> { 0x046D, 0xC52B, 0, 1 } << true << 1 << "usb_hid_init\n" + kBoardLines;
    QTest::newRow("unreadable attributes are not the board") << QList<int> { kVid, kPid, 1,
        0 } << false << 0 << QByteArray("usb_hid_init\nFound USB device\n");
}

void TestDiscovery::search()
{
    QFETCH(QList<int>, before);
    QFETCH(bool, boardPresent);
    QFETCH(int, result);
    QFETCH(QByteArray, trace);

    SimulatedBoard board;
    for (int i = 0; i + 3 < before.size(); i += 4)
        board.addDeviceBefore(Device { std::uint16_t(before[i]), std::uint16_t(before[i + 1]),
            before[i + 2] != 0, before[i + 3] != 0 });
    board.addDeviceAfter(Device { 0x04F2, 0x0112, true, true }); // never reached once found
    board.setPresent(boardPresent);

    USBHid2 link(board.platform(), 10);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), result);
    QCOMPARE(link.mConn_status, result);
    QCOMPARE(link.mDev_handle != kInvalidHidHandle, result == 1);
    QCOMPARE(board.openHandleCount(), result); // everything that was not the board is closed
    QByteArray expected = trace;
    if (!result)
        expected += "Found USB device\nVID = 0x 000004f2\nPID = 0x 00000112\n";
    QCOMPARE(QByteArray::fromStdString(capture.text()), expected);
}

void TestDiscovery::twoBoardsTakeTheFirst()
{
    SimulatedBoard board;
    board.setBoardCount(2);
    USBHid2 link(board.platform(), 10);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1);
    QCOMPARE(link.spi_write(1, 2), 1);
    QCOMPARE(board.boardOpenCount(0), 1);
    QCOMPARE(board.boardOpenCount(1), 0);
    QCOMPARE(board.reports().back().boardInstance, 0);
}

// Three boards on one bus, a keyboard ahead of them; the second board cannot be opened.
void TestDiscovery::boardAtLocation_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<int>("chosen"); // -1: none
    QTest::addColumn<QByteArray>("trace");

    const QByteArray keyboard = "Found USB device\nVID = 0x 0000046d\nPID = 0x 0000c52b\n";
    QTest::newRow("none set: the first that opens")
        << QString() << 0 << "usb_hid_init\n" + keyboard + kBoardLines;
    QTest::newRow("the third, others skipped unopened")
        << QStringLiteral("1-3") << 2 << "usb_hid_init\n" + kBoardLines;
    QTest::newRow("not present") << QStringLiteral("1-9") << -1 << QByteArray("usb_hid_init\n");
    QTest::newRow("present but unopenable")
        << QStringLiteral("1-2") << -1 << QByteArray("usb_hid_init\n");
}

void TestDiscovery::boardAtLocation()
{
    QFETCH(QString, location);
    QFETCH(int, chosen);
    QFETCH(QByteArray, trace);

    SimulatedBoard boards[3];
    for (int i = 0; i < 3; ++i)
        boards[i].setLocation("1-" + std::to_string(i + 1));
    boards[0].addDeviceBefore(Device { 0x046D, 0xC52B, true, true }, "1-4");
    boards[1].setBoardOpenable(false);
    USBHid2 link(SimulatedBoard::platform({ &boards[0], &boards[1], &boards[2] }), 10);
    link.setBoardLocation(location.toStdString());
    BoardTraceCapture capture;
    if (location == QLatin1String("1-2"))
        QTest::ignoreMessage(QtDebugMsg, kUnopenableBoard.constData());
    QCOMPARE(link.usb_hid_init(), chosen >= 0 ? 1 : 0);
    QCOMPARE(QByteArray::fromStdString(capture.text()), trace);
    QCOMPARE(link.unopenableBoardMessage().empty(), location != QLatin1String("1-2"));
    link.spi_write(1, 2);
    // Only the chosen board's firmware ever hears of it.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(boards[i].reports().size(), std::size_t(i == chosen ? 1 : 0));
}

void TestDiscovery::listBoards()
{
    SimulatedBoard boards[3];
    for (int i = 0; i < 3; ++i)
        boards[i].setLocation("1-" + std::to_string(i + 1));
    boards[0].setFailStringReads(true);
    boards[1].setBoardOpenable(false);
    boards[2].addDeviceBefore(Device { 0x046D, 0xC52B, true, true }, "1-4");
    USBHid2 link(SimulatedBoard::platform({ &boards[0], &boards[1], &boards[2] }), 10);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1);

    // The board the link holds, 1-1, is probed through its own handle; it does not answer, so
    // the link lets it go and opens it afresh for a probe of its own, as any other board.
    const std::vector<BoardListing> listed = link.listBoards();
    QCOMPARE(listed.size(), std::size_t(3));
    const bool expected[3][2] = { { true, false }, { false, false }, { true, true } };
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(listed[i].location, "1-" + std::to_string(i + 1));
        QCOMPARE(listed[i].openable, expected[i][0]);
        QCOMPARE(listed[i].answers, expected[i][1]);
        QCOMPARE(boards[i].openHandleCount(), 0);
    }
    QCOMPARE(listed[1].advice, std::string(systemUnopenableAdvice()));
    QCOMPARE(boards[0].boardOpenCount(0), 2);
    QCOMPARE(link.mConn_status, 0);
    QCOMPARE(boards[2].reports().size(), std::size_t(1)); // the probe, and nothing else

    // A named board is the only one listed; held by another program, it is never written to.
    boards[2].setBoardHeldElsewhere(true);
    link.setBoardLocation("1-3");
    const std::vector<BoardListing> named = link.listBoards();
    QCOMPARE(named.size(), std::size_t(1));
    QVERIFY(!named[0].openable && named[0].advice.find("in use by another program") == 0);
    QCOMPARE(boards[0].boardOpenCount(0) + boards[1].boardOpenCount(0), 2);
    QCOMPARE(boards[2].reports().size(), std::size_t(1));
}

void TestDiscovery::secondSearchWhileConnected()
{
    SimulatedBoard board;
    USBHid2 link(board.platform(), 10);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1);
    const HidHandle first = link.mDev_handle;
    QCOMPARE(link.usb_hid_init(), 1);
    QVERIFY(link.mDev_handle != first);
    QCOMPARE(board.openHandleCount(), 1);
    QCOMPARE(board.boardOpenCount(0), 2);
}

void TestDiscovery::unplugAndReplug()
{
    SimulatedBoard board;
    USBHid2 link(board.platform(), 10);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1);

    board.setPresent(false);
    QTest::ignoreMessage(QtDebugMsg, "USBHid2::conn_status");
    QTest::ignoreMessage(QtDebugMsg, "mConn_status=0");
    capture.clear();
    QCOMPARE(link.conn_status(), 0);
    QVERIFY(capture.text().find("write error =  0000048f\n") != std::string::npos);
    QCOMPARE(link.usb_hid_init(), 0);
    QCOMPARE(board.openHandleCount(), 0);

    board.setPresent(true);
    QCOMPARE(link.usb_hid_init(), 1);
    QTest::ignoreMessage(QtDebugMsg, "USBHid2::conn_status");
    QCOMPARE(link.conn_status(), 1);
}

void TestDiscovery::unopenableOthersAreNotNamed_data()
{
    QTest::addColumn<QList<int>>("before"); // vid, pid, openable, idsReadable per device
    QTest::addColumn<bool>("boardOpenable");
    QTest::addColumn<bool>("boardIdsReadable");
    QTest::addColumn<int>("result");

    QTest::newRow("unopenable keyboard")
        << QList<int> { 0x046D, 0xC52B, 0, 1 } << false << true << 0;
    QTest::newRow("unopenable look-alike")
        << QList<int> { kVid, 0x0002, 0, 1 } << false << true << 0;
    QTest::newRow("unopenable board whose IDs cannot be read unopened")
        << QList<int> {} << false << false << 0;
    QTest::newRow("unopenable board ahead of one that opens")
        << QList<int> { kVid, kPid, 0, 1 } << true << true << 1;
}

void TestDiscovery::unopenableOthersAreNotNamed()
{
    QFETCH(QList<int>, before);
    QFETCH(bool, boardOpenable);
    QFETCH(bool, boardIdsReadable);
    QFETCH(int, result);

    SimulatedBoard board;
    for (int i = 0; i + 3 < before.size(); i += 4)
        board.addDeviceBefore(Device { std::uint16_t(before[i]), std::uint16_t(before[i + 1]),
            before[i + 2] != 0, before[i + 3] != 0 });
    // A board that does not open stays off the bus for this test: only the others are tried.
    board.setPresent(boardOpenable || !boardIdsReadable);
    board.setBoardOpenable(boardOpenable);
    board.setBoardIdsReadable(boardIdsReadable);
    USBHid2 link(board.platform(), 10);
    BoardTraceCapture capture;
    DebugMessages debug;
    QCOMPARE(link.usb_hid_init(), result);
    QCOMPARE(DebugMessages::messages(), QStringList());
}

void TestDiscovery::unopenableBoardIsNamedOnce()
{
    SimulatedBoard board;
    board.setBoardOpenable(false);
    board.addDeviceBefore(Device { 0x046D, 0xC52B, false, true });
    USBHid2 link(board.platform(), 10);
    BoardTraceCapture capture;
    // The window and the trace show only what they always did: not connected, nothing found.
    QTest::ignoreMessage(QtDebugMsg, kUnopenableBoard);
    QCOMPARE(link.usb_hid_init(), 0);
    QCOMPARE(link.mConn_status, 0);
    QCOMPARE(QByteArray::fromStdString(capture.text()), QByteArray("usb_hid_init\n"));
    QCOMPARE(board.openHandleCount(), 0);

    QCOMPARE(QByteArray::fromStdString(link.unopenableBoardMessage()), kUnopenableBoard);

    // Once per link: the next search does not say it again; another link says it once too.
    {
        DebugMessages debug;
        QCOMPARE(link.usb_hid_init(), 0);
        QCOMPARE(QByteArray::fromStdString(link.unopenableBoardMessage()), kUnopenableBoard);
        QCOMPARE(DebugMessages::messages(), QStringList());
    }
    USBHid2 second(board.platform(), 10);
    QTest::ignoreMessage(QtDebugMsg, kUnopenableBoard.constData());
    QCOMPARE(second.usb_hid_init(), 0);
    QCOMPARE(QByteArray::fromStdString(capture.text()), QByteArray("usb_hid_init\n").repeated(3));

    // Once it may be opened, it is found as ever.
    board.setBoardOpenable(true);
    QCOMPARE(link.usb_hid_init(), 1);
}

void TestDiscovery::destructionClosesTheBoard()
{
    SimulatedBoard board;
    {
        USBHid2 link(board.platform(), 10);
        BoardTraceCapture capture;
        QCOMPARE(link.usb_hid_init(), 1);
        QCOMPARE(board.openHandleCount(), 1);
    }
    QCOMPARE(board.openHandleCount(), 0);
}

void TestDiscovery::onlySearchRaisesTheFlag()
{
    SimulatedBoard board;
    USBHid2 link(board.platform(), 10);
    BoardTraceCapture capture;
    // Commands and probes on an unopened link never connect it, whatever the board does.
    link.init_controller();
    link.spi_write(15, 20);
    QTest::ignoreMessage(QtDebugMsg, "USBHid2::conn_status");
    QTest::ignoreMessage(QtDebugMsg, "mConn_status=0");
    QCOMPARE(link.conn_status(), 0);
    QCOMPARE(link.mConn_status, 0);
    QCOMPARE(board.reports().size(), std::size_t(0));
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
