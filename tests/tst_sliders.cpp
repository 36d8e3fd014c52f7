// Each slider shows its position in physical units beside it.
#include "mainwindow.h"

#include <QAccessible>
#include <QLabel>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

class TestSliders : public QObject
{
    Q_OBJECT

private slots:
    void labelText_data();
    void labelText();
    void everyTimingPositionHasAShortLabel();
    void currentOutOfRange_data();
    void currentOutOfRange();
    void timingOutOfRangeKeepsLabel();
    void movingLeavesStatusBarAlone();
};

void TestSliders::labelText_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *slider, int position, const char *label, const char *text) {
        QTest::addRow("%s=%d", slider, position) << slider << position << label << text;
    };
    row("calibrationSlider", 5, "calLabel", "900 us");
    row("calibrationSlider", 6, "calLabel", "1 ms");
    row("calibrationSlider", 7, "calLabel", "1.1 ms");
    row("calibrationSlider", 96, "calLabel", "10 ms");
    row("calibrationSlider", 2, "calLabel", "600 us");
    row("currentSlider", 7, "currentLabel", "20.0 mA");
    row("currentSlider", 3, "currentLabel", "10.0 mA");
    row("currentSlider", 1, "currentLabel", "5.0 mA");
    row("r1Slider", 1, "r1Label", "105.6 ms");
    row("r2Slider", 2, "r2Label", "211.1 ms");
    row("r2Slider", 4, "r2Label", "422 ms");
    row("f3Slider", 15, "f3Label", "1584 ms");
    row("on1Slider", 15, "on1Label", "1016.4 ms");
    row("on2Slider", 31, "on2Label", "3009.6 ms");
    row("on3Slider", 18, "on3Label", "1353 ms");
    row("off1Slider", 9, "off1Label", "871.2 ms");
    row("off3Slider", 31, "off3Label", "6019.2 ms");
    row("f1Slider", 3, "f1Label", "316.8 ms");
    row("off2Slider", 20, "off2Label", "3207.6 ms");
}

void TestSliders::labelText()
{
    QFETCH(QString, slider);
    QFETCH(int, position);
    QFETCH(QString, label);
    QFETCH(QString, text);

    MainWindow w;
    w.findChild<QSlider *>(slider)->setValue(position);
    QCOMPARE(w.findChild<QLabel *>(label)->text(), text);
    // What a screen reader gets, on every platform: the same text as the slider's description.
    QAccessibleInterface *readable
        = QAccessible::queryAccessibleInterface(w.findChild<QSlider *>(slider));
    QCOMPARE(readable->text(QAccessible::Description), text);

    // Back to the start position gives the form's initial text again.
    auto *s = w.findChild<QSlider *>(slider);
    s->setValue(s->minimum());
    const QStringList initial = { "500 us", "2.5 mA", "0 ms", "13.2 ms", "26.4 ms" };
    QVERIFY(initial.contains(w.findChild<QLabel *>(label)->text()));
}

void TestSliders::everyTimingPositionHasAShortLabel()
{
    // Six significant digits are enough for every table entry: no rounding, no exponent.
    MainWindow w;
    for (const char *name : { "r1", "on1", "off1" }) {
        auto *slider = w.findChild<QSlider *>(QString("%1Slider").arg(name));
        auto *label = w.findChild<QLabel *>(QString("%1Label").arg(name));
        double previous = -1;
        for (int v = slider->minimum(); v <= slider->maximum(); ++v) {
            slider->setValue(v);
            const QString text = label->text();
            QVERIFY2(text.endsWith(" ms") && !text.contains('e'), qPrintable(text));
            const double shown = text.chopped(3).toDouble();
            QVERIFY2(shown > previous, qPrintable(text));
            previous = shown;
        }
    }
}

void TestSliders::currentOutOfRange_data()
{
    QTest::addColumn<int>("value");
    QTest::newRow("8") << 8;
    QTest::newRow("-1") << -1;
    QTest::newRow("min int") << std::numeric_limits<int>::min();
}

void TestSliders::currentOutOfRange()
{
    QFETCH(int, value);
    MainWindow w;
    QVERIFY(QMetaObject::invokeMethod(&w, "on_currentSlider_valueChanged", Q_ARG(int, value)));
    QCOMPARE(w.findChild<QLabel *>("currentLabel")->text(), QString("error"));
}

void TestSliders::timingOutOfRangeKeepsLabel()
{
    MainWindow w;
    w.findChild<QSlider *>("on2Slider")->setValue(5);
    for (int value : { 32, -1, 1000 }) {
        QVERIFY(QMetaObject::invokeMethod(&w, "on_on2Slider_valueChanged", Q_ARG(int, value)));
        QCOMPARE(w.findChild<QLabel *>("on2Label")->text(), QString("211.2 ms"));
    }
    QVERIFY(QMetaObject::invokeMethod(&w, "on_calibrationSlider_valueChanged", Q_ARG(int, 0)));
    QCOMPARE(w.findChild<QLabel *>("calLabel")->text(), QString("400 us"));
}

void TestSliders::movingLeavesStatusBarAlone()
{
    MainWindow w;
    w.statusBar()->showMessage("kept");
    for (QSlider *slider : w.findChildren<QSlider *>())
        slider->setValue(slider->maximum());
    QCOMPARE(w.statusBar()->currentMessage(), QString("kept"));
}

QTEST_MAIN(TestSliders)
#include "tst_sliders.moc"
