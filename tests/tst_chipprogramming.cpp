// What each button sends to the chip, in order, through the real window and a simulated board.
#include "boardwindow.h"
#include "ctlsession.h"
#include "viewer.h"

#include <QPushButton>
#include <QSlider>
#include <QTest>

using Settings = QList<QPair<QString, int>>;

class TestChipProgramming : public QObject
{
    Q_OBJECT

private slots:
    void startUpWithBoard();
    void buttons_data();
    void buttons();
    void slidersSendNothing();
    void trainThreeDefaults();
    void run();
    void runOnce();
    void lockedStateStillAllowsSliders();
    void buttonsWithoutBoard();
};

static QStringList writes(std::initializer_list<QPair<int, int>> regs)
{
    QStringList steps;
    for (const auto &[reg, value] : regs)
        steps << QString("W%1=%2").arg(reg).arg(value);
    return steps;
}

void TestChipProgramming::startUpWithBoard()
{
    // One search, one preparation, the direct check stops at its probe, then register 15.
    BoardWindow bw;
    bw.open();
    QCOMPARE(bw.received(), BoardWindow::preparation() + QStringList({ "R15", "W15=20" }));
    QCOMPARE(bw.board.boardOpenCount(0), 1);
    QCOMPARE(bw.board.firmware().initCount(), 1);
    QCOMPARE(bw.connectionText(), QString("connected"));
    QCOMPARE(bw.board.firmware().spiRegister(15), 20);

    // What the preparation leaves on the board's pins.
    const BoardFirmware &fw = bw.board.firmware();
    QCOMPARE(fw.pinGroup(1).direction, 0x41);
    QCOMPARE(fw.pinGroup(2).direction, 0x5F);
    QCOMPARE(fw.pinGroup(3).direction, 0x07);
    QCOMPARE(fw.pinGroup(1).level & 0x02, 0x02);
    QCOMPARE(fw.pinGroup(2).level & 0x5F, 0x03);
    QCOMPARE(fw.pinGroup(3).level & 0x07, 0x01);
}

void TestChipProgramming::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("ctl"); // the same button as a qd7310-ctl command

    // Every slider at a different position, so a register sent out of order shows.
    const Settings changed = {
        { "calibrationSlider", 42 },
        { "currentSlider", 5 },
        { "r1Slider", 1 },
        { "on1Slider", 2 },
        { "f1Slider", 3 },
        { "off1Slider", 4 },
        { "r2Slider", 5 },
        { "on2Slider", 6 },
        { "f2Slider", 7 },
        { "off2Slider", 8 },
        { "r3Slider", 9 },
        { "on3Slider", 10 },
        { "f3Slider", 11 },
        { "off3Slider", 31 },
    };

    QTest::newRow("reset") << "resetButton" << changed << writes({ { 0, 0 } })
        << QStringList { "reset" };
    QTest::newRow("current default")
        << "currentButton" << Settings {} << writes({ { 1, 1 }, { 2, 0 }, { 15, 20 }, { 0, 2 } })
        << QStringList { "change-current" };
    QTest::newRow("current changed")
        << "currentButton" << changed << writes({ { 1, 42 }, { 2, 5 }, { 15, 20 }, { 0, 2 } })
        << QStringList { "change-current" };
    QTest::newRow("follow 1") << "followButton" << changed
                              << writes({ { 1, 42 }, { 2, 5 }, { 3, 1 }, { 4, 2 }, { 15, 20 },
                                     { 0, 1 } })
        << QStringList { "follow", "1" };
    QTest::newRow("follow 2") << "followIButton" << changed
                              << writes({ { 1, 42 }, { 2, 5 }, { 3, 1 }, { 4, 2 }, { 15, 20 },
                                     { 0, 3 } })
        << QStringList { "follow", "2" };
    QTest::newRow("run once 2") << "runOnce2Button" << changed << writes({ { 0, 8 } })
        << QStringList { "run-once", "2" };
    QTest::newRow("train 1 default") << "train1Button" << Settings {}
                                     << writes({ { 1, 1 }, { 2, 0 }, { 3, 0 }, { 4, 0 }, { 5, 0 },
                                            { 6, 0 }, { 15, 20 }, { 0, 4 } })
        << QStringList { "train", "1" };
    QTest::newRow("train 1 changed") << "train1Button" << changed
                                     << writes({ { 1, 42 }, { 2, 5 }, { 3, 1 }, { 4, 2 }, { 5, 3 },
                                            { 6, 4 }, { 15, 20 }, { 0, 4 } })
        << QStringList { "train", "1" };
    QTest::newRow("train 2 changed")
        << "train2Button" << changed
        << writes({ { 1, 42 }, { 2, 5 }, { 3, 1 }, { 4, 2 }, { 5, 3 }, { 6, 4 }, { 7, 5 }, { 8, 6 },
               { 9, 7 }, { 10, 8 }, { 15, 20 }, { 0, 5 } })
        << QStringList { "train", "2" };
    QTest::newRow("train 3 changed")
        << "train3Button" << changed
        << writes({ { 1, 42 }, { 2, 5 }, { 3, 1 }, { 4, 2 }, { 5, 3 }, { 6, 4 }, { 7, 5 }, { 8, 6 },
               { 9, 7 }, { 10, 8 }, { 11, 9 }, { 12, 10 }, { 13, 11 }, { 14, 31 }, { 15, 20 },
               { 0, 6 } })
        << QStringList { "train", "3" };
    QTest::newRow("run") << "runButton" << changed << QStringList { "P1.6=1" }
                         << QStringList { "run", "on" };
    QTest::newRow("run once 1") << "runOnceButton" << changed << writes({ { 0, 7 } })
                                << QStringList { "run-once", "1" };
    // The calibration slider's top position still fits the data byte.
    QTest::newRow("current top") << "currentButton"
                                 << Settings { { "calibrationSlider", 96 }, { "currentSlider", 7 } }
                                 << writes({ { 1, 96 }, { 2, 7 }, { 15, 20 }, { 0, 2 } })
        << QStringList { "change-current" };
}

void TestChipProgramming::buttons()
{
    QFETCH(QString, button);
    QFETCH(Settings, settings);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, ctl);

    BoardWindow bw;
    bw.open();
    for (const auto &[slider, value] : settings)
        bw.window->findChild<QSlider *>(slider)->setValue(value);
    bw.board.clearReports();
    QTest::mouseClick(bw.window->findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(bw.received(), expected);

    // The image reached the chip's registers as sent.
    for (const QString &step : expected) {
        const QStringList parts = step.mid(1).split('=');
        if (parts[0].toInt() != 0)
            QCOMPARE(int(bw.board.firmware().spiRegister(parts[0].toInt())), parts[1].toInt());
    }

    // The command-line tool, given the same slider positions, puts the same bytes on the wire.
    static const QMap<QString, QString> options = { { "calibrationSlider", "calibration" },
        { "currentSlider", "current" }, { "r1Slider", "rise1" }, { "on1Slider", "on1" },
        { "f1Slider", "fall1" }, { "off1Slider", "off1" }, { "r2Slider", "rise2" },
        { "on2Slider", "on2" }, { "f2Slider", "fall2" }, { "off2Slider", "off2" },
        { "r3Slider", "rise3" }, { "on3Slider", "on3" }, { "f3Slider", "fall3" },
        { "off3Slider", "off3" } };
    QString line = ctl.join(' ');
    for (const auto &[slider, value] : settings)
        line += QString(" --%1 %2").arg(options.value(slider)).arg(value);
    std::optional<Ctl::Request> request;
    QCOMPARE(Ctl::parseScriptLine(line, 1, &request), QString());
    SimulatedBoard cliBoard;
    Ctl::Session session([&cliBoard] { return std::make_unique<USBHid2>(cliBoard.platform()); });
    QCOMPARE(session.run(*request).exitCode, int(Ctl::Success));
    QCOMPARE(cliBoard.reports().size(), bw.board.reports().size());
    for (std::size_t i = 0; i < cliBoard.reports().size(); ++i)
        QCOMPARE(cliBoard.reports()[i].bytes, bw.board.reports()[i].bytes);
}

void TestChipProgramming::slidersSendNothing()
{
    BoardWindow bw;
    bw.open();
    bw.board.clearReports();
    for (QSlider *slider : bw.window->findChildren<QSlider *>())
        slider->setValue(slider->maximum());
    QVERIFY(bw.received().isEmpty());
}

void TestChipProgramming::trainThreeDefaults()
{
    BoardWindow bw;
    bw.open();
    bw.board.clearReports();
    QTest::mouseClick(bw.find<QPushButton>("train3Button"), Qt::LeftButton);
    QCOMPARE(bw.window->statusBar()->currentMessage(), QString("118 ms"));
    QCOMPARE(bw.find<Viewer>("viewerWidget")->pulse_count, 3.0);
    QStringList expected = writes({ { 1, 1 } });
    for (int reg = 2; reg <= 14; ++reg)
        expected << QString("W%1=0").arg(reg);
    expected << "W15=20"
             << "W0=6";
    QCOMPARE(bw.received(), expected);
}

static const char *const kOtherButtons[] = {
    "train1Button",
    "train2Button",
    "train3Button",
    "currentButton",
    "resetButton",
    "runOnce2Button",
    "followButton",
    "followIButton",
};

static void checkLocked(BoardWindow &bw, bool locked, const char *checkable, const char *other)
{
    for (const char *name : kOtherButtons)
        QVERIFY2(bw.find<QPushButton>(name)->isEnabled() == !locked, name);
    QVERIFY(bw.find<QPushButton>(checkable)->isEnabled());
    QCOMPARE(bw.find<QPushButton>(other)->isEnabled(), !locked);
    QCOMPARE(bw.find<QPushButton>(checkable)->isChecked(), locked);
    QVERIFY(!bw.find<QPushButton>(other)->isChecked());
}

void TestChipProgramming::run()
{
    BoardWindow bw;
    bw.open();
    bw.board.clearReports();
    auto *run = bw.find<QPushButton>("runButton");

    QTest::mouseClick(run, Qt::LeftButton);
    QCOMPARE(bw.received(), QStringList { "P1.6=1" });
    QVERIFY(bw.board.firmware().pinGroup(1).level & 0x40);
    checkLocked(bw, true, "runButton", "runOnceButton");

    bw.board.clearReports();
    QTest::mouseClick(run, Qt::LeftButton);
    QCOMPARE(bw.received(), QStringList { "P1.6=0" });
    QVERIFY(!(bw.board.firmware().pinGroup(1).level & 0x40));
    checkLocked(bw, false, "runButton", "runOnceButton");
}

void TestChipProgramming::runOnce()
{
    BoardWindow bw;
    bw.open();
    bw.board.clearReports();
    auto *once = bw.find<QPushButton>("runOnceButton");

    QTest::mouseClick(once, Qt::LeftButton);
    QCOMPARE(bw.received(), QStringList { "W0=7" });
    checkLocked(bw, true, "runOnceButton", "runButton");

    bw.board.clearReports();
    QTest::mouseClick(once, Qt::LeftButton);
    QCOMPARE(bw.received(), QStringList { "P1.6=0" });
    checkLocked(bw, false, "runOnceButton", "runButton");
}

void TestChipProgramming::lockedStateStillAllowsSliders()
{
    BoardWindow bw;
    bw.open();
    QTest::mouseClick(bw.find<QPushButton>("runButton"), Qt::LeftButton);
    for (QSlider *slider : bw.window->findChildren<QSlider *>())
        QVERIFY(slider->isEnabled());
    // A locked button cannot be clicked: nothing is sent.
    bw.board.clearReports();
    QTest::mouseClick(bw.find<QPushButton>("resetButton"), Qt::LeftButton);
    QVERIFY(bw.received().isEmpty());
}

void TestChipProgramming::buttonsWithoutBoard()
{
    // Every button still does its window part; the commands fail in the trace only.
    BoardWindow bw;
    bw.board.setPresent(false);
    bw.open();
    QTest::mouseClick(bw.find<QPushButton>("train2Button"), Qt::LeftButton);
    QCOMPARE(bw.window->statusBar()->currentMessage(), QString("79 ms"));
    QTest::mouseClick(bw.find<QPushButton>("runButton"), Qt::LeftButton);
    QVERIFY(!bw.find<QPushButton>("train1Button")->isEnabled());
    QVERIFY(bw.board.reports().empty());
    QVERIFY(QString::fromStdString(bw.trace.text()).contains("write error =  00000006"));
}

QTEST_MAIN(TestChipProgramming)
#include "tst_chipprogramming.moc"
