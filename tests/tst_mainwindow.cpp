// The main window's meta-object and form: what connections by name, translators and the
// later slots rely on.
#include "mainwindow.h"
#include "viewer.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void slotTable();
    void metacast();
    void metacallPastTheTable();
    void metacallInvokesIntSlot();
    void windowProperties();
    void gridCells_data();
    void gridCells();
    void creationOrder();
    void sliders_data();
    void sliders();
    void valueLabels_data();
    void valueLabels();
    void captions();
    void buttons_data();
    void buttons();
    void menus();
    void viewerWidget();
};

static const char *const kSlots[] = {
    "showAboutDialog()",
    "on_runOnce2Button_clicked()",
    "on_followIButton_clicked()",
    "on_currentButton_clicked()",
    "on_resetButton_clicked()",
    "on_followButton_clicked()",
    "on_runOnceButton_clicked()",
    "on_runButton_clicked()",
    "on_train3Button_clicked()",
    "on_train2Button_clicked()",
    "on_train1Button_clicked()",
    "on_off3Slider_valueChanged(int)",
    "on_f3Slider_valueChanged(int)",
    "on_on3Slider_valueChanged(int)",
    "on_r3Slider_valueChanged(int)",
    "on_off2Slider_valueChanged(int)",
    "on_f2Slider_valueChanged(int)",
    "on_on2Slider_valueChanged(int)",
    "on_r2Slider_valueChanged(int)",
    "on_off1Slider_valueChanged(int)",
    "on_f1Slider_valueChanged(int)",
    "on_on1Slider_valueChanged(int)",
    "on_r1Slider_valueChanged(int)",
    "on_calibrationSlider_valueChanged(int)",
    "on_currentSlider_valueChanged(int)",
    "setup_lists()",
    "check_conn_status()",
    "synchronize_with_board()",
    "setup_viewer()",
};

void TestMainWindow::slotTable()
{
    const QMetaObject &mo = MainWindow::staticMetaObject;
    QCOMPARE(mo.className(), "MainWindow");
    QCOMPARE(mo.superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(mo.methodCount() - mo.methodOffset(), 29);
    QCOMPARE(mo.propertyCount(), mo.propertyOffset());
    QCOMPARE(mo.enumeratorCount(), mo.enumeratorOffset());
    QCOMPARE(mo.classInfoCount(), mo.classInfoOffset());
    QCOMPARE(mo.constructorCount(), 0);
    for (int i = 0; i < 29; ++i) {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        QCOMPARE(m.methodSignature(), QByteArray(kSlots[i]));
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        QCOMPARE(m.access(), QMetaMethod::Private);
        QCOMPARE(m.returnType(), int(QMetaType::Void));
        if (m.parameterCount() == 1)
            QCOMPARE(m.parameterNames(), QList<QByteArray> { "value" });
    }
}

void TestMainWindow::metacast()
{
    MainWindow w;
    QCOMPARE(w.qt_metacast("MainWindow"), static_cast<void *>(&w));
    QCOMPARE(w.qt_metacast("QMainWindow"), w.QMainWindow::qt_metacast("QMainWindow"));
    QVERIFY(w.qt_metacast("QMainWindow") != nullptr);
    QCOMPARE(w.qt_metacast(nullptr), nullptr);
    QCOMPARE(w.qt_metacast("mainwindow"), nullptr);
    QCOMPARE(w.metaObject(), &MainWindow::staticMetaObject);
}

void TestMainWindow::metacallPastTheTable()
{
    MainWindow w;
    const int offset = MainWindow::staticMetaObject.methodOffset();
    void *args[] = { nullptr };
    QCOMPARE(w.qt_metacall(QMetaObject::InvokeMetaMethod, offset + 29, args), 0);
    QCOMPARE(w.qt_metacall(QMetaObject::InvokeMetaMethod, offset + 40, args), 11);
}

void TestMainWindow::metacallInvokesIntSlot()
{
    MainWindow w;
    const int id = MainWindow::staticMetaObject.indexOfSlot("on_currentSlider_valueChanged(int)");
    int value = 8;
    void *args[] = { nullptr, &value };
    QCOMPARE(w.qt_metacall(QMetaObject::InvokeMetaMethod, id, args), -5);
    QCOMPARE(w.findChild<QLabel *>("currentLabel")->text(), QString("error"));
}

void TestMainWindow::windowProperties()
{
    MainWindow w;
    QCOMPARE(w.objectName(), QString("MainWindow"));
    QCOMPARE(w.size(), QSize(513, 652));
    QCOMPARE(w.windowTitle(), QString("QD7310 Evaluation Software"));
    QVERIFY(!w.windowIcon().isNull());
    QCOMPARE(w.centralWidget()->objectName(), QString("centralWidget"));
    QCOMPARE(w.menuBar()->objectName(), QString("menuBar"));
    QCOMPARE(w.statusBar()->objectName(), QString("statusBar"));
    QCOMPARE(w.menuBar()->geometry(), QRect(0, 0, 513, 20));
    QVERIFY(!w.isVisible());

    auto *grid = w.findChild<QGridLayout *>("gridLayout");
    QVERIFY(grid);
    QCOMPARE(grid->parentWidget(), w.centralWidget());
    QCOMPARE(grid->spacing(), 6);
    QCOMPARE(grid->contentsMargins(), QMargins(11, 11, 11, 11));
}

void TestMainWindow::gridCells_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("columnSpan");
    QTest::addColumn<QStringList>("contents");

    const auto box = [](const char *name, int row, int column, QStringList contents) {
        QTest::newRow(name) << QString(name) << row << column << 1 << contents;
    };
    const auto wide = [](const char *name, int row, QStringList contents) {
        QTest::newRow(name) << QString(name) << row << 0 << 3 << contents;
    };
    box("verticalLayout_12", 0, 0, { "label_4", "label" });
    box("verticalLayout_7", 0, 1, { "calibrationSlider", "currentSlider" });
    box("verticalLayout_11", 0, 2, { "calLabel", "currentLabel" });
    wide("line", 1, {});
    box("verticalLayout_6", 2, 0, { "label_2", "label_6", "label_8", "label_9" });
    box("verticalLayout_4", 2, 1, { "r1Slider", "on1Slider", "f1Slider", "off1Slider" });
    box("verticalLayout_8", 2, 2, { "r1Label", "on1Label", "f1Label", "off1Label" });
    wide("line_2", 3, {});
    box("verticalLayout_5", 4, 0, { "label_12", "label_13", "label_14", "label_15" });
    box("verticalLayout_3", 4, 1, { "r2Slider", "on2Slider", "f2Slider", "off2Slider" });
    box("verticalLayout_9", 4, 2, { "r2Label", "on2Label", "f2Label", "off2Label" });
    wide("line_3", 5, {});
    box("verticalLayout_2", 6, 0, { "label_20", "label_21", "label_22", "label_23" });
    box("verticalLayout", 6, 1, { "r3Slider", "on3Slider", "f3Slider", "off3Slider" });
    box("verticalLayout_10", 6, 2, { "r3Label", "on3Label", "f3Label", "off3Label" });
    wide("line_4", 7, {});
    wide("viewerWidget", 8, {});
    wide("horizontalLayout", 9,
        { "train1Button", "train2Button", "train3Button", "currentButton", "resetButton" });
    wide("horizontalLayout_2", 10,
        { "runButton", "runOnceButton", "runOnce2Button", "followButton", "followIButton" });
}

static QString itemName(QLayoutItem *item)
{
    if (item->widget())
        return item->widget()->objectName();
    return item->layout() ? item->layout()->objectName() : QString();
}

void TestMainWindow::gridCells()
{
    QFETCH(QString, item);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columnSpan);
    QFETCH(QStringList, contents);

    MainWindow w;
    auto *grid = w.findChild<QGridLayout *>("gridLayout");
    int found = -1;
    for (int i = 0; i < grid->count(); ++i) {
        if (itemName(grid->itemAt(i)) == item)
            found = i;
    }
    QVERIFY2(found >= 0, qPrintable(item));
    int r, c, rs, cs;
    grid->getItemPosition(found, &r, &c, &rs, &cs);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rs, 1);
    QCOMPARE(cs, columnSpan);
    QLayoutItem *cell = grid->itemAt(found);
    QCOMPARE(cell->alignment(), Qt::Alignment());

    if (QLayout *box = cell->layout()) {
        QCOMPARE(box->spacing(), 6);
        QCOMPARE(box->contentsMargins(), QMargins());
        QStringList names;
        for (int i = 0; i < box->count(); ++i) {
            QCOMPARE(box->itemAt(i)->alignment(), Qt::Alignment());
            QCOMPARE(box->itemAt(i)->widget()->parentWidget(), w.centralWidget());
            names << itemName(box->itemAt(i));
        }
        QCOMPARE(names, contents);
    } else {
        QCOMPARE(cell->widget()->parentWidget(), w.centralWidget());
    }
}

void TestMainWindow::creationOrder()
{
    // Children are listed in the order they were parented, which is the form's creation order.
    MainWindow w;
    QStringList names;
    for (QObject *child : w.centralWidget()->children()) {
        if (child->isWidgetType())
            names << child->objectName();
    }
    const QStringList expected = {
        "label_4",
        "label",
        "calibrationSlider",
        "currentSlider",
        "calLabel",
        "currentLabel",
        "line",
        "label_2",
        "label_6",
        "label_8",
        "label_9",
        "r1Slider",
        "on1Slider",
        "f1Slider",
        "off1Slider",
        "r1Label",
        "on1Label",
        "f1Label",
        "off1Label",
        "line_2",
        "label_12",
        "label_13",
        "label_14",
        "label_15",
        "r2Slider",
        "on2Slider",
        "f2Slider",
        "off2Slider",
        "r2Label",
        "on2Label",
        "f2Label",
        "off2Label",
        "line_3",
        "label_20",
        "label_21",
        "label_22",
        "label_23",
        "r3Slider",
        "on3Slider",
        "f3Slider",
        "off3Slider",
        "r3Label",
        "on3Label",
        "f3Label",
        "off3Label",
        "line_4",
        "viewerWidget",
        "train1Button",
        "train2Button",
        "train3Button",
        "currentButton",
        "resetButton",
        "runButton",
        "runOnceButton",
        "runOnce2Button",
        "followButton",
        "followIButton",
    };
    QCOMPARE(names, expected);
}

void TestMainWindow::sliders_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::newRow("calibration") << "calibrationSlider" << 1 << 96;
    QTest::newRow("current") << "currentSlider" << 0 << 7;
    for (const char *p : { "1", "2", "3" }) {
        QTest::addRow("r%s", p) << QString("r%1Slider").arg(p) << 0 << 15;
        QTest::addRow("on%s", p) << QString("on%1Slider").arg(p) << 0 << 31;
        QTest::addRow("f%s", p) << QString("f%1Slider").arg(p) << 0 << 15;
        QTest::addRow("off%s", p) << QString("off%1Slider").arg(p) << 0 << 31;
    }
}

void TestMainWindow::sliders()
{
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    MainWindow w;
    auto *slider = w.findChild<QSlider *>(name);
    QVERIFY(slider);
    QCOMPARE(slider->orientation(), Qt::Horizontal);
    QCOMPARE(slider->minimum(), minimum);
    QCOMPARE(slider->maximum(), maximum);
    QCOMPARE(slider->value(), minimum);
    QCOMPARE(slider->hasTracking(), true);
}

void TestMainWindow::valueLabels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("cal") << "calLabel"
                         << "500 us";
    QTest::newRow("current") << "currentLabel"
                             << "2.5 mA";
    for (const char *p : { "1", "2", "3" }) {
        QTest::addRow("r%s", p) << QString("r%1Label").arg(p) << "0 ms";
        QTest::addRow("on%s", p) << QString("on%1Label").arg(p) << "13.2 ms";
        QTest::addRow("f%s", p) << QString("f%1Label").arg(p) << "0 ms";
        QTest::addRow("off%s", p) << QString("off%1Label").arg(p) << "26.4 ms";
    }
}

void TestMainWindow::valueLabels()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    MainWindow w;
    auto *label = w.findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->minimumSize(), QSize(50, 0));
}

void TestMainWindow::captions()
{
    const QList<QPair<const char *, const char *>> captions = {
        { "label_4", "Calibration Pulse" },
        { "label", "LED Current" },
        { "label_2", "Rise Time 1" },
        { "label_6", "On Time 1" },
        { "label_8", "Fall Time 1" },
        { "label_9", "Off Time 1" },
        { "label_12", "Rise Time 2" },
        { "label_13", "On Time 2" },
        { "label_14", "Fall Time 2" },
        { "label_15", "Off Time 2" },
        { "label_20", "Rise Time 3" },
        { "label_21", "On Time 3" },
        { "label_22", "Fall Time 3" },
        { "label_23", "Off Time 3" },
    };
    MainWindow w;
    for (const auto &[name, text] : captions) {
        auto *label = w.findChild<QLabel *>(name);
        QVERIFY2(label, name);
        QCOMPARE(label->text(), QString(text));
        QCOMPARE(label->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    }
    for (const char *name : { "line", "line_2", "line_3", "line_4" }) {
        auto *line = w.findChild<QFrame *>(name);
        QVERIFY2(line, name);
        QCOMPARE(line->frameShape(), QFrame::HLine);
        QCOMPARE(line->frameShadow(), QFrame::Sunken);
    }
}

void TestMainWindow::buttons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checkable");
    QTest::newRow("train1") << "train1Button"
                            << "Train 1 Pulse" << false;
    QTest::newRow("train2") << "train2Button"
                            << "Train 2 Pulses" << false;
    QTest::newRow("train3") << "train3Button"
                            << "Train 3 Pulses" << false;
    QTest::newRow("current") << "currentButton"
                             << "Change Current" << false;
    QTest::newRow("reset") << "resetButton"
                           << "Reset" << false;
    QTest::newRow("run") << "runButton"
                         << "Run" << true;
    QTest::newRow("runOnce") << "runOnceButton"
                             << "Run Once 1" << true;
    QTest::newRow("runOnce2") << "runOnce2Button"
                              << "Run Once 2" << false;
    QTest::newRow("follow") << "followButton"
                            << "Follow Mode 1" << false;
    QTest::newRow("followI") << "followIButton"
                             << "Follow Mode 2" << false;
}

void TestMainWindow::buttons()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, checkable);
    MainWindow w;
    auto *button = w.findChild<QPushButton *>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), text);
    QCOMPARE(button->isCheckable(), checkable);
    QVERIFY(!button->isChecked());
    QVERIFY(button->isEnabled());
}

void TestMainWindow::menus()
{
    MainWindow w;
    const QList<QAction *> top = w.menuBar()->actions();
    QCOMPARE(top.size(), 2);
    QCOMPARE(top.at(0)->menu()->objectName(), QString("menuFile"));
    QCOMPARE(top.at(0)->text(), QString("File"));
    QCOMPARE(top.at(1)->menu()->objectName(), QString("menuHelp"));
    QCOMPARE(top.at(1)->text(), QString("Help"));

    const QList<QAction *> file = top.at(0)->menu()->actions();
    QCOMPARE(file.size(), 1);
    QCOMPARE(file.at(0)->objectName(), QString("actionClose"));
    QCOMPARE(file.at(0)->text(), QString("Close"));
    QCOMPARE(file.at(0)->parent(), &w);
    const QList<QAction *> help = top.at(1)->menu()->actions();
    QCOMPARE(help.size(), 1);
    QCOMPARE(help.at(0)->objectName(), QString("actionAbout"));
    QCOMPARE(help.at(0)->text(), QString("About"));
}

void TestMainWindow::viewerWidget()
{
    MainWindow w;
    auto *viewer = w.findChild<Viewer *>("viewerWidget");
    QVERIFY(viewer);
    QCOMPARE(viewer->parentWidget(), w.centralWidget());
    QCOMPARE(viewer->minimumSize(), QSize(400, 100));
    QVERIFY(viewer->autoFillBackground());

    // However small the window gets, the layout keeps the drawing area at its minimum.
    w.show();
    w.resize(100, 100);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCoreApplication::processEvents();
    QVERIFY(viewer->width() >= 400);
    QVERIFY(viewer->height() >= 100);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
