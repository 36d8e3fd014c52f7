// The viewer's own widget: its model at construction and what its paint puts on screen.
#include "viewer.h"

#include <QImage>
#include <QTest>

namespace {

struct Train
{
    double totalTime;
    double pulseCount;
    std::array<double, 12> times;
};

void load(Viewer &v, const Train &t)
{
    v.total_time = t.totalTime;
    v.pulse_count = t.pulseCount;
    double *members[] = { &v.r1, &v.on1, &v.f1, &v.off1, &v.r2, &v.on2, &v.f2, &v.off2, &v.r3,
        &v.on3, &v.f3, &v.off3 };
    for (std::size_t i = 0; i < t.times.size(); ++i)
        *members[i] = t.times[i];
}

QImage render(Viewer &v, QSize size)
{
    v.resize(size);
    return v.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A one-unit pen centred on a whole coordinate shades the two pixel rows (or columns) it
// straddles; the darker of the pixels around the point decides.
bool darkAt(const QImage &image, QPointF logical)
{
    const double sx = image.width() / 500.0;
    const double sy = image.height() / 100.0;
    const int px = int(logical.x() * sx);
    const int py = int(logical.y() * sy);
    int darkest = 255;
    for (int y = py - 1; y <= py; ++y) {
        for (int x = px - 1; x <= px; ++x) {
            if (image.rect().contains(x, y))
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        }
    }
    return darkest < 160;
}

bool whiteAt(const QImage &image, QPoint logical)
{
    const QPoint p(
        int(logical.x() * image.width() / 500.0), int(logical.y() * image.height() / 100.0));
    return image.pixel(p) == qRgb(255, 255, 255);
}

} // namespace

Q_DECLARE_METATYPE(Train)

class TestViewer : public QObject
{
    Q_OBJECT

private slots:
    void constructedModel();
    void freshPanel();
    void drawsGeometry_data();
    void drawsGeometry();
};

void TestViewer::constructedModel()
{
    QWidget parent;
    Viewer v(&parent);
    QCOMPARE(v.parentWidget(), &parent);
    QCOMPARE(v.total_time, 1.0);
    QCOMPARE(v.pulse_count, 0.0);
    for (double t :
        { v.r1, v.on1, v.f1, v.off1, v.r2, v.on2, v.f2, v.off2, v.r3, v.on3, v.f3, v.off3 })
        QCOMPARE(t, 0.0);
    QCOMPARE(v.metaObject()->className(), "Viewer");
    QCOMPARE(v.metaObject()->methodCount(), QWidget::staticMetaObject.methodCount());
}

// Only the framed panel: the single tick lies at x = 5000 and no pulse is drawn.
void TestViewer::freshPanel()
{
    Viewer v;
    const QImage image = render(v, QSize(500, 100));
    QVERIFY(darkAt(image, QPointF(0, 50)));
    QVERIFY(darkAt(image, QPointF(250, 0)));
    QVERIFY(darkAt(image, QPointF(498, 50)));
    QVERIFY(darkAt(image, QPointF(250, 98)));
    for (int y = 2; y <= 96; ++y) {
        for (int x = 2; x <= 496; ++x)
            QVERIFY2(image.pixel(x, y) == qRgb(255, 255, 255),
                qPrintable(QString("%1,%2").arg(x).arg(y)));
    }
}

void TestViewer::drawsGeometry_data()
{
    QTest::addColumn<Train>("train");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<QPoint>>("white");

    const Train one { 897.6, 1, { 105.6, 264.0, 105.6, 422.4 } };
    const QList<QPoint> offOne { { 133, 40 }, { 133, 60 }, { 400, 50 }, { 30, 80 }, { 470, 40 } };
    QTest::newRow("one pulse") << one << QSize(500, 100) << offOne;
    QTest::newRow("one pulse, stretched") << one << QSize(1000, 300) << offOne;

    const Train three { 118.8, 3, { 0, 13.2, 0, 26.4, 0, 13.2, 0, 26.4, 0, 13.2, 0, 26.4 } };
    QTest::newRow("three pulses") << three << QSize(500, 100)
                                  << QList<QPoint> { { 30, 40 }, { 110, 40 }, { 110, 12 },
                                         { 300, 60 }, { 450, 40 } };
    QTest::newRow("three pulses, default viewer size")
        << three << QSize(491, 100) << QList<QPoint> { { 30, 40 }, { 110, 40 }, { 300, 60 } };
}

// Every line and visible tick of the geometry is dark on screen; the spots between are white.
void TestViewer::drawsGeometry()
{
    QFETCH(Train, train);
    QFETCH(QSize, size);
    QFETCH(QList<QPoint>, white);

    Viewer v;
    load(v, train);
    const Waveform::Geometry g = Waveform::layout(v.model());
    QVERIFY(!g.lines.isEmpty());
    const QImage image = render(v, size);

    for (const QLine &line : g.lines) {
        const QPointF mid = QLineF(line).center();
        QVERIFY2(darkAt(image, mid),
            qPrintable(QString("line midpoint %1,%2").arg(mid.x()).arg(mid.y())));
    }
    for (const Waveform::Tick &tick : g.ticks) {
        if (tick.x < 498)
            QVERIFY2(darkAt(image, QPointF(tick.x, 93)), qPrintable(tick.label));
    }
    for (const QPoint &p : white)
        QVERIFY2(whiteAt(image, p), qPrintable(QString("%1,%2").arg(p.x()).arg(p.y())));
}

QTEST_MAIN(TestViewer)
#include "tst_viewer.moc"
