// The connection monitor, and every board exchange failing in every way the board can fail.
#include "boardwindow.h"
#include "viewer.h"

#include <QPushButton>
#include <QTest>

Q_DECLARE_METATYPE(SimulatedBoard::Fault)

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void startWithoutBoard();
    void unplugAndReplug();
    void probeRefusedReopensEveryCheck_data();
    void probeRefusedReopensEveryCheck();
    void initControllerFailing();
    void checkWhileConnectedOnlyProbes();
    void boardAtLocationOnly();
    void preparationFaults_data();
    void preparationFaults();
    void trainFaults_data();
    void trainFaults();
};

static void check(BoardWindow &bw)
{
    QVERIFY(QMetaObject::invokeMethod(bw.window.get(), "check_conn_status"));
}

static int count(const std::string &text, const char *line)
{
    return QString::fromStdString(text).split('\n').count(QString(line));
}

void TestConnection::startWithoutBoard()
{
    BoardWindow bw;
    bw.board.setPresent(false);
    bw.open();
    QCOMPARE(count(bw.trace.text(), "usb_hid_init"), 2);
    QCOMPARE(bw.connectionText(), QString("not connected"));
    // Register 15 is written all the same, and fails like any write with no device open.
    const QString trace = QString::fromStdString(bw.trace.text());
    QVERIFY(trace.endsWith("spi_write\naddr =  0000000f\ndata =  00000014\n"
                           "00 08 00 11 26 14 0F 00 \nwrite error =  00000006\n"
                           "00 08 00 11 26 14 0F 00 \n"));
}

void TestConnection::unplugAndReplug()
{
    BoardWindow bw;
    bw.open();
    QCOMPARE(bw.connectionText(), QString("connected"));

    bw.board.setPresent(false);
    check(bw);
    QCOMPARE(bw.connectionText(), QString("not connected"));
    check(bw);
    QCOMPARE(bw.connectionText(), QString("not connected"));

    bw.board.clearReports();
    bw.board.setPresent(true);
    check(bw);
    QCOMPARE(bw.connectionText(), QString("connected"));
    QCOMPARE(bw.received(), BoardWindow::preparation());
    QVERIFY(bw.board.firmware().initialised());
    QCOMPARE(bw.board.openHandleCount(), 1);

    // Settled again: the next check only probes.
    bw.board.clearReports();
    check(bw);
    QCOMPARE(bw.received(), QStringList { "R15" });
}

void TestConnection::probeRefusedReopensEveryCheck_data()
{
    QTest::addColumn<bool>("stalled");
    QTest::newRow("probe refused") << false;
    // The answer string still holds an earlier answer, but a probe that never went out proves
    // nothing: the board is searched for again, as an unplugged one.
    QTest::newRow("writes stalled") << true;
}

void TestConnection::probeRefusedReopensEveryCheck()
{
    QFETCH(bool, stalled);
    BoardWindow bw;
    if (stalled)
        bw.board.setStallWrites(true);
    else
        bw.board.firmware().setCommandStatus(0x22, 0x05);
    bw.open();
    const int opens = bw.board.boardOpenCount(0);
    for (int i = 1; i <= 3; ++i) {
        bw.board.clearReports();
        check(bw);
        QCOMPARE(bw.connectionText(), QString("connected"));
        QCOMPARE(bw.board.boardOpenCount(0), opens + i);
        QCOMPARE(bw.received(),
            stalled ? QStringList() : QStringList { "R15" } + BoardWindow::preparation());
        QCOMPARE(bw.board.openHandleCount(), 1);
    }
}

void TestConnection::initControllerFailing()
{
    BoardWindow bw;
    bw.board.firmware().setCommandStatus(0x00, 0x01);
    bw.open();
    QCOMPARE(bw.received(), QStringList({ "I", "R15", "W15=20" }));
    QCOMPARE(bw.connectionText(), QString("connected"));
}

void TestConnection::checkWhileConnectedOnlyProbes()
{
    BoardWindow bw;
    bw.open();
    bw.board.clearReports();
    bw.trace.clear();
    check(bw);
    QCOMPARE(bw.received(), QStringList { "R15" });
    QCOMPARE(count(bw.trace.text(), "usb_hid_init"), 0);
    QCOMPARE(bw.board.boardOpenCount(0), 1);
}

// The window given a board location ignores the board ahead of it on the bus.
void TestConnection::boardAtLocationOnly()
{
    BoardWindow bw;
    SimulatedBoard first;
    first.setLocation("1-1");
    bw.board.setLocation("1-2");
    bw.window = std::make_unique<MainWindow>([&] {
        auto link = std::make_unique<USBHid2>(
            SimulatedBoard::platform({ &first, &bw.board }), BoardWindow::kTestTimeoutMs);
        link->setBoardLocation("1-2");
        return link;
    });
    QCOMPARE(bw.connectionText(), QStringLiteral("connected"));
    QCOMPARE(bw.received(),
        BoardWindow::preparation() << "R15"
                                   << "W15=20");
    QCOMPARE(first.boardOpenCount(0), 0);
    QVERIFY(first.reports().empty());
}

static void addFaultRows(int exchanges)
{
    QTest::addColumn<int>("exchange");
    QTest::addColumn<SimulatedBoard::Fault>("fault");
    const QPair<const char *, SimulatedBoard::Fault> faults[] = {
        { "no answer", SimulatedBoard::Fault::NoAnswer },
        { "stalled", SimulatedBoard::Fault::StalledWrite },
        { "error status", SimulatedBoard::Fault::ErrorStatus },
        { "unplugged", SimulatedBoard::Fault::Unplug },
    };
    for (int k = 1; k <= exchanges; ++k) {
        for (const auto &[name, fault] : faults)
            QTest::addRow("%d %s", k, name) << k << fault;
    }
}

// What the board receives of `sequence` when exchange k (1-based) fails as given.
static QStringList survivors(QStringList sequence, int k, SimulatedBoard::Fault fault)
{
    switch (fault) {
    case SimulatedBoard::Fault::StalledWrite:
        sequence.removeAt(k - 1);
        return sequence;
    case SimulatedBoard::Fault::Unplug:
        return sequence.mid(0, k - 1);
    default:
        return sequence;
    }
}

void TestConnection::preparationFaults_data()
{
    addFaultRows(27);
}

void TestConnection::preparationFaults()
{
    QFETCH(int, exchange);
    QFETCH(SimulatedBoard::Fault, fault);

    BoardWindow bw;
    bw.board.planFault(exchange, fault);
    bw.open();

    // A controller that does not take its initialisation, stalled or refused, is left alone.
    const QStringList expected
        = survivors(BoardWindow::preparation().mid(0, exchange == 1 ? 1 : -1), exchange, fault);
    const QStringList got = bw.received();
    QCOMPARE(got.mid(0, expected.size()), expected);

    if (fault == SimulatedBoard::Fault::Unplug) {
        // The direct check right after the preparation notices the board has gone.
        QCOMPARE(got.size(), expected.size());
        QCOMPARE(bw.connectionText(), QString("not connected"));
        bw.board.clearReports();
        bw.board.setPresent(true);
        check(bw);
        QCOMPARE(bw.received(), BoardWindow::preparation());
    } else {
        QCOMPARE(got.mid(expected.size()), QStringList({ "R15", "W15=20" }));
        bw.board.clearReports();
        check(bw);
        QCOMPARE(bw.received(), QStringList { "R15" });
    }
    QCOMPARE(bw.connectionText(), QString("connected"));
    QCOMPARE(bw.board.openHandleCount(), 1);
    for (QPushButton *button : bw.window->findChildren<QPushButton *>())
        QVERIFY(button->isEnabled());
}

void TestConnection::trainFaults_data()
{
    addFaultRows(16);
}

void TestConnection::trainFaults()
{
    QFETCH(int, exchange);
    QFETCH(SimulatedBoard::Fault, fault);

    BoardWindow bw;
    bw.open();
    bw.board.clearReports();
    bw.board.planFault(exchange, fault);
    QTest::mouseClick(bw.find<QPushButton>("train3Button"), Qt::LeftButton);

    QStringList sequence { "W1=1" };
    for (int reg = 2; reg <= 14; ++reg)
        sequence << QString("W%1=0").arg(reg);
    sequence << "W15=20"
             << "W0=6";
    QCOMPARE(bw.received(), survivors(sequence, exchange, fault));

    // The window ends as if every write had gone through.
    QCOMPARE(bw.window->statusBar()->currentMessage(), QString("118 ms"));
    QCOMPARE(bw.find<Viewer>("viewerWidget")->pulse_count, 3.0);
    for (QPushButton *button : bw.window->findChildren<QPushButton *>())
        QVERIFY(button->isEnabled());
    QCOMPARE(bw.connectionText(), QString("connected"));

    bw.board.clearReports();
    check(bw);
    if (fault == SimulatedBoard::Fault::Unplug) {
        QCOMPARE(bw.connectionText(), QString("not connected"));
        bw.board.setPresent(true);
        check(bw);
        QCOMPARE(bw.received(), BoardWindow::preparation());
    } else {
        QCOMPARE(bw.received(), QStringList { "R15" });
    }
    QCOMPARE(bw.connectionText(), QString("connected"));
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
