// The window's setup files: what opening, saving and closing do to the sliders, the title, the
// board and the file, through the real window on a simulated board.
#include "boardwindow.h"
#include "refusedsetups.h"
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
        QCOMPARE(SetupFile::write(path("in.qd7310"), positions), QString());
        SetupWindow w;
        QVERIFY(w.setup->open(path("in.qd7310")));
        QCOMPARE(w.setup->positions(), positions);
        QCOMPARE(w.window->windowTitle(), QString("in.qd7310[*] - QD7310 Evaluation Software"));
        QVERIFY(!w.window->isWindowModified());
        QVERIFY(w.setup->saveAs(path("out.qd7310")));
        QFile in(path("in.qd7310")), out(path("out.qd7310"));
        QVERIFY(in.open(QIODevice::ReadOnly) && out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), in.readAll());

        // The sliders moved as a user moves them: labels and register image, nothing sent.
        QCOMPARE(w.received(), QStringList());
        QCOMPARE(w.find<QLabel>("off3Label")->text(),
            ChipSettings::labelText(ChipSettings::Off3, positions[ChipSettings::Off3]));
        QCOMPARE(w.setup->lastCommand().button, "train1Button");
        w.find<QPushButton>("train3Button")->click();
        QCOMPARE(w.setup->lastCommand().button, "train3Button");
        for (int i = 0; i < ChipSettings::kCount; ++i)
            QCOMPARE(w.received().at(i), QString("W%1=%2").arg(i + 1).arg(positions[i]));
    }
}

void TestSetupActions::refused_data()
{
    addRefusedSetupRows();
}

void TestSetupActions::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    const QString file = path("refused.qd7310");
    QFile::remove(file);
    if (!bytes.isNull()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    }
    SetupWindow w;

    Answer answer(QMessageBox::Ok);
    QVERIFY(!w.setup->openArgument(file));
    QVERIFY2(answer.text.contains(file) && answer.text.contains(problem), qPrintable(answer.text));
    QCOMPARE(w.setup->positions(), ChipSettings::startPositions());
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
    other.find<QSlider>("on1Slider")->setValue(9);
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
