// The train buttons as the viewer sees them: the snapshot they take, the length they show and
// the drawing they leave behind.
#include "mainwindow.h"
#include "viewer.h"

#include <QImage>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

namespace {

const char *const timingSliders[12]
    = { "r1Slider", "on1Slider", "f1Slider", "off1Slider", "r2Slider", "on2Slider", "f2Slider",
          "off2Slider", "r3Slider", "on3Slider", "f3Slider", "off3Slider" };

using Positions = QList<int>;
using Times = QList<double>;

Times modelTimes(const Viewer &v)
{
    return { v.r1, v.on1, v.f1, v.off1, v.r2, v.on2, v.f2, v.off2, v.r3, v.on3, v.f3, v.off3 };
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestViewerTrains : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void trains_data();
    void trains();
    void snapshotOutlivesSliders();

private:
    QSlider *slider(int i) const { return window->findChild<QSlider *>(timingSliders[i]); }
    Viewer *viewer() const { return window->findChild<Viewer *>("viewerWidget"); }
    void press(const char *button) { window->findChild<QPushButton *>(button)->click(); }
    QImage drawing() const { return viewer()->grab().toImage(); }

    std::unique_ptr<MainWindow> window;
};

void TestViewerTrains::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(viewer());
}

void TestViewerTrains::cleanup()
{
    window.reset();
}

void TestViewerTrains::trains_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<Positions>("positions");
    QTest::addColumn<double>("pulseCount");
    QTest::addColumn<Times>("times");
    QTest::addColumn<double>("totalTime");
    QTest::addColumn<QString>("message");

    const Times smallest { 0, 13.2, 0, 26.4, 0, 13.2, 0, 26.4, 0, 13.2, 0, 26.4 };
    QTest::newRow("train 1, start positions") << QByteArray("train1Button") << Positions(12, 0)
                                              << 1.0 << smallest << 0 + 13.2 + 0 + 26.4 << "39 ms";
    QTest::newRow("train 3, start positions")
        << QByteArray("train3Button") << Positions(12, 0) << 3.0 << smallest
        << 0 + 13.2 + 0 + 26.4 + 0 + 13.2 + 0 + 26.4 + 0 + 13.2 + 0 + 26.4 << "118 ms";

    const Positions mixed { 1, 6, 1, 5, 3, 10, 3, 10, 2, 31, 15, 31 };
    const Times mixedTimes { 105.6, 264.0, 105.6, 422.4, 316.8, 501.6, 316.8, 1003.2, 211.1, 3009.6,
        1584, 6019.2 };
    QTest::newRow("train 1") << QByteArray("train1Button") << mixed << 1.0 << mixedTimes
                             << 105.6 + 264.0 + 105.6 + 422.4 << "897 ms";
    // Pulse 3 is stored too, though neither summed nor drawn.
    QTest::newRow("train 2") << QByteArray("train2Button") << mixed << 2.0 << mixedTimes
                             << 105.6 + 264.0 + 105.6 + 422.4 + 316.8 + 501.6 + 316.8 + 1003.2
                             << "3036 ms";
    QTest::newRow("train 3, longest pulses")
        << QByteArray("train3Button")
        << Positions { 15, 31, 15, 31, 15, 31, 15, 31, 15, 31, 15, 31 } << 3.0
        << Times { 1584, 3009.6, 1584, 6019.2, 1584, 3009.6, 1584, 6019.2, 1584, 3009.6, 1584,
               6019.2 }
        << 1584 + 3009.6 + 1584 + 6019.2 + 1584 + 3009.6 + 1584 + 6019.2 + 1584 + 3009.6 + 1584
            + 6019.2
        << "36590 ms";
}

void TestViewerTrains::trains()
{
    QFETCH(QByteArray, button);
    QFETCH(Positions, positions);
    for (int i = 0; i < 12; ++i)
        slider(i)->setValue(positions[i]);

    PaintCounter counter;
    viewer()->installEventFilter(&counter);
    press(button.constData());
    // Painted before the click returns, without the event loop's help.
    QVERIFY(counter.paints >= 1);

    QTEST(viewer()->pulse_count, "pulseCount");
    QTEST(viewer()->total_time, "totalTime");
    QTEST(modelTimes(*viewer()), "times");
    QTEST(window->statusBar()->currentMessage(), "message");
}

void TestViewerTrains::snapshotOutlivesSliders()
{
    press("train3Button");
    press("train1Button");
    QCOMPARE(viewer()->pulse_count, 1.0);
    QCOMPARE(viewer()->total_time, 0 + 13.2 + 0 + 26.4);
    const Times before = modelTimes(*viewer());
    const QImage drawn = drawing();

    PaintCounter counter;
    viewer()->installEventFilter(&counter);
    const Positions moved { 5, 20, 4, 9, 1, 2, 3, 4, 5, 6, 7, 8 };
    for (int i = 0; i < 12; ++i)
        slider(i)->setValue(moved[i]);
    QCoreApplication::processEvents();

    QCOMPARE(counter.paints, 0);
    QCOMPARE(viewer()->pulse_count, 1.0);
    QCOMPARE(viewer()->total_time, 0 + 13.2 + 0 + 26.4);
    QCOMPARE(modelTimes(*viewer()), before);
    QCOMPARE(drawing(), drawn);
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("39 ms"));

    press("train1Button");
    QCOMPARE(viewer()->r1, 528.0);
    QCOMPARE(viewer()->off1, 871.2);
    QCOMPARE(viewer()->total_time, 528 + 1603.8 + 422 + 871.2);
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("3425 ms"));
    QVERIFY(drawing() != drawn);
}

QTEST_MAIN(TestViewerTrains)
#include "tst_viewer_trains.moc"
