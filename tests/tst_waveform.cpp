#include "waveform.h"

#include <QTest>

#include <cmath>
#include <limits>

using Waveform::Model;

Q_DECLARE_METATYPE(Model)

namespace {

using Times = std::array<double, 12>;

// The total the train buttons store: the 4 n times of the drawn pulses, summed in order.
Model train(int pulses, const Times &times)
{
    Model m;
    m.pulseCount = pulses;
    m.times = times;
    m.totalTime = 0.0;
    for (int i = 0; i < 4 * pulses; ++i)
        m.totalTime += times[i];
    return m;
}

Model total(double totalTime, double pulseCount = 0.0)
{
    Model m;
    m.totalTime = totalTime;
    m.pulseCount = pulseCount;
    return m;
}

QList<int> tickXs(const Waveform::Geometry &g)
{
    QList<int> xs;
    for (const Waveform::Tick &t : g.ticks)
        xs.append(t.x);
    return xs;
}

QStringList tickLabels(const Waveform::Geometry &g)
{
    QStringList labels;
    for (const Waveform::Tick &t : g.ticks)
        labels.append(t.label);
    return labels;
}

QList<int> steps(int first, int step, int count)
{
    QList<int> xs;
    for (int i = 1; i <= count; ++i)
        xs.append(first + (i - 1) * step);
    return xs;
}

constexpr Times smallest = { 0, 13.2, 0, 26.4, 0, 13.2, 0, 26.4, 0, 13.2, 0, 26.4 };
constexpr Times longest
    = { 1584, 3009.6, 1584, 6019.2, 1584, 3009.6, 1584, 6019.2, 1584, 3009.6, 1584, 6019.2 };

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

} // namespace

class TestWaveform : public QObject
{
    Q_OBJECT

private slots:
    void frame();
    void examples_data();
    void examples();
    void bandBounds_data();
    void bandBounds();
    void absurdTotals_data();
    void absurdTotals();
    void absurdTimes_data();
    void absurdTimes();
    void unusedTimesHaveNoEffect_data();
    void unusedTimesHaveNoEffect();
    void pulseCounts_data();
    void pulseCounts();
};

void TestWaveform::frame()
{
    QCOMPARE(Waveform::layout(Model()).frame, QRect(0, 0, 499, 99));
    QCOMPARE(Waveform::layout(Model()).frame.bottomRight(), QPoint(498, 98));
}

void TestWaveform::examples_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("tickStep");
    QTest::addColumn<QList<int>>("ticks");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QList<QLine>>("lines");

    QTest::newRow("fresh widget") << Model() << 1 << 5000 << QList<int> { 5000 }
                                  << QStringList { "10 ms" } << QList<QLine> {};

    QTest::newRow("shortest train, 39.6 ms")
        << train(1, smallest) << 1 << 126 << QList<int> { 126, 252, 378, 504 }
        << QStringList { "10 ms", "20 ms", "30 ms", "40 ms" }
        << QList<QLine> { { 2, 80, 2, 10 }, { 2, 10, 168, 10 }, { 168, 10, 168, 80 },
               { 168, 80, 500, 80 } };

    QTest::newRow("three shortest pulses, 118.8 ms")
        << train(3, smallest) << 2 << 84 << steps(84, 84, 6)
        << QStringList { "20 ms", "40 ms", "60 ms", "80 ms", "100 ms", "120 ms" }
        << QList<QLine> { { 2, 80, 2, 10 }, { 2, 10, 57, 10 }, { 57, 10, 57, 80 },
               { 57, 80, 168, 80 }, { 168, 80, 168, 10 }, { 168, 10, 223, 10 },
               { 223, 10, 223, 80 }, { 223, 80, 334, 80 }, { 334, 80, 334, 10 },
               { 334, 10, 389, 10 }, { 389, 10, 389, 80 }, { 389, 80, 500, 80 } };

    const Times p1 = { 105.6, 264.0, 105.6, 422.4, 316.8, 501.6, 316.8, 1003.2, 0, 0, 0, 0 };
    QTest::newRow("one pulse, 897.6 ms")
        << train(1, p1) << 4 << 55 << steps(55, 55, 10)
        << QStringList { "100 ms", "200 ms", "300 ms", "400 ms", "500 ms", "600 ms", "700 ms",
               "800 ms", "900 ms", "1000 ms" }
        << QList<QLine> { { 2, 80, 60, 10 }, { 60, 10, 207, 10 }, { 207, 10, 265, 80 },
               { 265, 80, 500, 80 } };

    QTest::newRow("two pulses, 3036 ms")
        << train(2, p1) << 6 << 82 << steps(82, 82, 7)
        << QStringList { "0.5 s", "1 s", "1.5 s", "2 s", "2.5 s", "3 s", "3.5 s" }
        << QList<QLine> { { 2, 80, 19, 10 }, { 19, 10, 62, 10 }, { 62, 10, 79, 80 },
               { 79, 80, 148, 80 }, { 148, 80, 200, 10 }, { 200, 10, 282, 10 },
               { 282, 10, 334, 80 }, { 334, 80, 500, 80 } };

    QStringList seconds;
    for (int s = 3; s <= 39; s += 3)
        seconds.append(QString::number(s) + " s");
    QTest::newRow("longest train, 36590.4 ms")
        << train(3, longest) << 9 << 40 << steps(40, 40, 13) << seconds
        << QList<QLine> { { 2, 80, 23, 10 }, { 23, 10, 64, 10 }, { 64, 10, 85, 80 },
               { 85, 80, 167, 80 }, { 167, 80, 188, 10 }, { 188, 10, 229, 10 },
               { 229, 10, 250, 80 }, { 250, 80, 332, 80 }, { 332, 80, 353, 10 },
               { 353, 10, 394, 10 }, { 394, 10, 415, 80 }, { 415, 80, 500, 80 } };

    QTest::newRow("step dividing 500, 50 ms")
        << total(50) << 1 << 100 << steps(100, 100, 5)
        << QStringList { "10 ms", "20 ms", "30 ms", "40 ms", "50 ms" } << QList<QLine> {};
}

void TestWaveform::examples()
{
    QFETCH(Model, model);
    const Waveform::Geometry g = Waveform::layout(model);
    QTEST(g.band, "band");
    QTEST(g.tickStep, "tickStep");
    QTEST(tickXs(g), "ticks");
    QTEST(tickLabels(g), "labels");
    QTEST(g.lines, "lines");
}

// Each bound takes the lower band, so its last tick lands exactly on the right edge.
void TestWaveform::bandBounds_data()
{
    QTest::addColumn<double>("totalTime");
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("tickStep");
    QTest::addColumn<QString>("lastLabel");

    QTest::newRow("100") << 100.0 << 1 << 50 << "100 ms";
    QTest::newRow("just above 100") << 100.1 << 2 << 99 << "120 ms";
    QTest::newRow("200") << 200.0 << 2 << 50 << "200 ms";
    QTest::newRow("500") << 500.0 << 3 << 50 << "500 ms";
    QTest::newRow("1000") << 1000.0 << 4 << 50 << "1000 ms";
    QTest::newRow("2000") << 2000.0 << 5 << 50 << "2000 ms";
    QTest::newRow("just above 2000") << 2000.1 << 6 << 124 << "2.5 s";
    QTest::newRow("5000") << 5000.0 << 6 << 50 << "5 s";
    QTest::newRow("10000") << 10000.0 << 7 << 50 << "10 s";
    QTest::newRow("20000") << 20000.0 << 8 << 50 << "20 s";
    QTest::newRow("just above 20000") << 20000.1 << 9 << 74 << "21 s";
    // The smallest step that still reaches the edge: one tick per unit.
    QTest::newRow("1500000") << 1500000.0 << 9 << 1 << "1500 s";
}

void TestWaveform::bandBounds()
{
    QFETCH(double, totalTime);
    const Waveform::Geometry g = Waveform::layout(total(totalTime));
    QTEST(g.band, "band");
    QTEST(g.tickStep, "tickStep");
    QVERIFY(!g.ticks.isEmpty());
    QVERIFY(g.ticks.size() <= Waveform::WindowWidth);
    QTEST(g.ticks.last().label, "lastLabel");
    QVERIFY(g.ticks.last().x >= Waveform::WindowWidth);
    QVERIFY(g.ticks.size() < 2 || g.ticks[g.ticks.size() - 2].x < Waveform::WindowWidth);
}

// Totals no train can sum to must neither hang the tick loop nor reach undefined conversions.
void TestWaveform::absurdTotals_data()
{
    QTest::addColumn<double>("totalTime");
    QTest::addColumn<bool>("hasTicks");
    QTest::addColumn<bool>("hasLines");

    QTest::newRow("zero") << 0.0 << false << false;
    QTest::newRow("negative") << -39.6 << false << false;
    QTest::newRow("NaN") << notANumber << false << false;
    QTest::newRow("infinite") << inf << false << false;
    QTest::newRow("step rounds to 0") << 1500001.0 << false << true;
    QTest::newRow("largest double") << std::numeric_limits<double>::max() << false << true;
    QTest::newRow("tiny") << 1e-300 << false << true;
    QTest::newRow("denormal") << std::numeric_limits<double>::denorm_min() << false << false;
}

void TestWaveform::absurdTotals()
{
    QFETCH(double, totalTime);
    Model m = train(3, longest);
    m.totalTime = totalTime;
    const Waveform::Geometry g = Waveform::layout(m);
    QTEST(!g.ticks.isEmpty(), "hasTicks");
    QTEST(!g.lines.isEmpty(), "hasLines");
    for (const QLine &line : g.lines) {
        for (int x : { line.x1(), line.x2() })
            QVERIFY2(std::abs(x) <= 100000, qPrintable(QString::number(x)));
    }
}

void TestWaveform::absurdTimes_data()
{
    QTest::addColumn<double>("time");
    QTest::addColumn<int>("lineCount");

    QTest::newRow("NaN") << notANumber << 0;
    QTest::newRow("infinite") << inf << 0;
    QTest::newRow("minus infinite") << -inf << 0;
    QTest::newRow("huge") << 1e300 << 12;
    QTest::newRow("hugely negative") << -1e300 << 12;
}

void TestWaveform::absurdTimes()
{
    QFETCH(double, time);
    Model m = train(3, smallest);
    m.times[5] = time;
    const QList<QLine> lines = Waveform::layout(m).lines;
    QTEST(int(lines.size()), "lineCount");
    for (const QLine &line : lines) {
        for (int x : { line.x1(), line.x2() })
            QVERIFY2(std::abs(x) <= 100000, qPrintable(QString::number(x)));
    }
}

void TestWaveform::unusedTimesHaveNoEffect_data()
{
    QTest::addColumn<int>("pulses");
    QTest::addColumn<QList<int>>("unused");

    QTest::newRow("one pulse") << 1 << QList<int> { 3, 4, 5, 6, 7, 8, 9, 10, 11 };
    QTest::newRow("two pulses") << 2 << QList<int> { 7, 8, 9, 10, 11 };
    QTest::newRow("three pulses") << 3 << QList<int> { 11 };
}

void TestWaveform::unusedTimesHaveNoEffect()
{
    QFETCH(int, pulses);
    QFETCH(QList<int>, unused);
    const Model base = train(pulses, smallest);
    const QList<QLine> expected = Waveform::layout(base).lines;
    QCOMPARE(expected.size(), 4 * pulses);
    for (int i : unused) {
        Model m = base;
        m.times[i] = 1000.0 + i;
        QCOMPARE(Waveform::layout(m).lines, expected);
    }
}

void TestWaveform::pulseCounts_data()
{
    QTest::addColumn<double>("pulseCount");
    QTest::addColumn<int>("lineCount");

    QTest::newRow("0") << 0.0 << 0;
    QTest::newRow("negative") << -1.0 << 0;
    QTest::newRow("NaN") << notANumber << 0;
    QTest::newRow("1") << 1.0 << 4;
    QTest::newRow("2") << 2.0 << 8;
    QTest::newRow("3") << 3.0 << 12;
    QTest::newRow("between 1 and 2") << 1.5 << 12;
    QTest::newRow("above 3") << 7.0 << 12;
}

void TestWaveform::pulseCounts()
{
    QFETCH(double, pulseCount);
    Model m = train(3, smallest);
    m.pulseCount = pulseCount;
    const QList<QLine> lines = Waveform::layout(m).lines;
    QTEST(int(lines.size()), "lineCount");
    if (!lines.isEmpty()) {
        QCOMPARE(lines.first().p1(), QPoint(2, 80));
        QCOMPARE(lines.last().p2(), QPoint(500, 80));
    }
}

QTEST_APPLESS_MAIN(TestWaveform)
#include "tst_waveform.moc"
