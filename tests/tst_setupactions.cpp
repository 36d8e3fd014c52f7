// The window's setup files: what opening, saving and closing do to the sliders, the title, the
// board and the file, through the real window on a simulated board.
#include "boardwindow.h"
#include "setupactions.h"
#include "setupfile.h"

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Answers the next message box with `button`, keeping its text; does nothing if none comes.
struct Answer : QObject
{
    QString text;
    explicit Answer(QMessageBox::StandardButton button)
    {
        QTimer::singleShot(0, this, [this, button] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                text = box->text();
                if (QAbstractButton *b = box->button(button))
                    b->click();
                else
                    box->reject();
            }
        });
    }
};

struct SetupWindow : BoardWindow
{
    SetupActions *setup;
    SetupWindow()
    {
        open();
        setup = new SetupActions(window.get());
        board.clearReports();
    }
    QSlider *slider(int setting) const
    {
        static const QStringList names = { "calibrationSlider", "currentSlider", "r1Slider",
            "on1Slider", "f1Slider", "off1Slider", "r2Slider", "on2Slider", "f2Slider",
            "off2Slider", "r3Slider", "on3Slider", "f3Slider", "off3Slider" };
        return find<QSlider>(qPrintable(names.at(setting)));
    }
    void move(const ChipSettings::Positions &positions)
    {
        for (int i = 0; i < ChipSettings::kCount; ++i)
            slider(i)->setValue(positions[i]);
    }
};

class TestSetupActions : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const char *name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("config"));
    }
    void menu();
    void roundTrip();
    void refused_data();
    void refused();
    void closing_data();
    void closing();
    void recentFileGone();
};

void TestSetupActions::menu()
{
    SetupWindow w;
    QStringList entries;
    for (const QAction *action : w.find<QMenu>("menuFile")->actions())
        entries << action->text() + "|" + action->shortcut().toString();
    QCOMPARE(entries,
        QStringList({ "Open Setup\u2026|Ctrl+O", "Open Recent|", "Save Setup|Ctrl+S",
            "Save Setup As\u2026|Ctrl+Shift+S", "Export for Firmware\u2026|", "|", "Close|" }));
}

void TestSetupActions::roundTrip()
{
    QRandomGenerator random(25);
    for (int round = 0; round < 20; ++round) {
        ChipSettings::Positions positions;
        for (int i = 0; i < ChipSettings::kCount; ++i) {
            const ChipSettings::Setting &s = ChipSettings::settings[std::size_t(i)];
            positions[i] = random.bounded(s.minimum, s.maximum + 1);
        }
        SetupWindow saved;
        saved.move(positions);
        QVERIFY(saved.setup->saveAs(path("trip.qd7310")));

        SetupWindow opened;
        QVERIFY(opened.setup->open(path("trip.qd7310")));
        QCOMPARE(opened.setup->positions(), positions);
        QCOMPARE(
            opened.window->windowTitle(), QString("trip.qd7310[*] - QD7310 Evaluation Software"));
        QVERIFY(!opened.window->isWindowModified());
        // The sliders moved as a user moves them: labels and register image, nothing sent.
        QCOMPARE(opened.received(), QStringList());
        QCOMPARE(opened.find<QLabel>("off3Label")->text(),
            ChipSettings::labelText(ChipSettings::Off3, positions[ChipSettings::Off3]));
        QCOMPARE(opened.setup->lastCommand().button, "train1Button");
        opened.find<QPushButton>("train3Button")->click();
        QCOMPARE(opened.setup->lastCommand().button, "train3Button");
        for (int i = 0; i < ChipSettings::kCount; ++i)
            QCOMPARE(opened.received().at(i), QString("W%1=%2").arg(i + 1).arg(positions[i]));
    }
}

void TestSetupActions::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("named");
    const QByteArray head = R"({"format": "qd7310-setup", "version": 1, "settings": )";
    QTest::newRow("no file") << QByteArray() << "";
    QTest::newRow("not JSON") << QByteArray("format=qd7310-setup") << "";
    QTest::newRow("an array") << QByteArray("[1, 2]") << "";
    QTest::newRow("format") << QByteArray(R"({"format": "x", "version": 1, "settings": {}})")
                            << "format";
    QTest::newRow("version") << QByteArray(R"({"format": "qd7310-setup", "version": 2,
                                              "settings": {}})")
                             << "version";
    QTest::newRow("no settings") << QByteArray(R"({"format": "qd7310-setup", "version": 1})")
                                 << "settings";
    QTest::newRow("settings a list") << head + "[]}"
                                     << "settings";
    QTest::newRow("typo") << head + R"({"rise1": 2, "onn1": 3}})"
                          << "onn1";
    QTest::newRow("too high") << head + R"({"rise1": 16}})"
                              << "rise1";
    QTest::newRow("too low") << head + R"({"calibration": 0}})"
                             << "calibration";
    QTest::newRow("fraction") << head + R"({"on2": 2.5}})"
                              << "on2";
    QTest::newRow("a string") << head + R"({"on2": "2"}})"
                              << "on2";
    QTest::newRow("not UTF-8") << head + "{}, \"note\": \"\xff\"}"
                               << "";
}

void TestSetupActions::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, named);
    const QString file = path("refused.qd7310");
    QFile::remove(file);
    if (!bytes.isEmpty()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    }
    SetupWindow w;
    w.move({ 7, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 });
    const ChipSettings::Positions before = w.setup->positions();

    Answer answer(QMessageBox::Ok);
    QVERIFY(!w.setup->openArgument(file));
    QVERIFY2(answer.text.contains(file) && answer.text.contains(named), qPrintable(answer.text));
    QCOMPARE(w.setup->positions(), before);
    QCOMPARE(w.received(), QStringList());
    QCOMPARE(w.window->windowTitle(), QString("QD7310 Evaluation Software"));
    QCOMPARE(w.setup->currentFile(), QString());
}

void TestSetupActions::closing_data()
{
    QTest::addColumn<bool>("opened");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("savedOn1");
    QTest::newRow("never opened") << false << int(QMessageBox::NoButton) << true << 0;
    QTest::newRow("save") << true << int(QMessageBox::Save) << true << 9;
    QTest::newRow("discard") << true << int(QMessageBox::Discard) << true << 0;
    QTest::newRow("cancel") << true << int(QMessageBox::Cancel) << false << 0;
}

void TestSetupActions::closing()
{
    QFETCH(bool, opened);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(int, savedOn1);
    const QString file = path("closing.qd7310");
    SetupWindow w;
    QVERIFY(w.setup->saveAs(file));
    SetupWindow other;
    if (opened)
        QVERIFY(other.setup->open(file));
    other.window->show();
    other.slider(ChipSettings::On1)->setValue(9);
    QCOMPARE(other.window->isWindowModified(), opened);

    Answer asked { QMessageBox::StandardButton(answer) };
    QCOMPARE(other.window->close(), closes);
    QCOMPARE(asked.text.isEmpty(), !opened);
    QCOMPARE(other.window->isVisible(), !closes);
    ChipSettings::Positions inFile;
    QCOMPARE(SetupFile::read(file, &inFile), QString());
    QCOMPARE(inFile[ChipSettings::On1], savedOn1);
}

void TestSetupActions::recentFileGone()
{
    const QString file = path("gone.qd7310");
    QSettings(QSettings::IniFormat, QSettings::UserScope, "qd7310", "qd7310-eval").clear();
    SetupWindow w;
    QVERIFY(w.setup->saveAs(file));
    auto *recent = w.find<QMenu>("menuFile")->actions().at(1)->menu();
    QCOMPARE(recent->actions().size(), 1);
    QVERIFY(recent->actions().at(0)->text().endsWith("gone.qd7310"));

    QFile::remove(file);
    Answer answer(QMessageBox::Ok);
    recent->actions().at(0)->trigger();
    QVERIFY2(answer.text.contains("gone.qd7310"), qPrintable(answer.text));
    QVERIFY(recent->actions().isEmpty());
    QVERIFY(!recent->isEnabled());
}

QTEST_MAIN(TestSetupActions)
#include "tst_setupactions.moc"
