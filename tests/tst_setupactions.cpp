// The window's setup files: what opening, saving and closing do to the sliders, the title, the
// board and the file, through the real window on a simulated board.
#include "boardwindow.h"
#include "refusedsetups.h"
#include "setupactions.h"
#include "setupfile.h"

#include <QApplication>
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
                box->button(button) ? box->button(button)->click() : box->reject();
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

    void roundTrip()
    {
        QRandomGenerator random(25);
        for (int round = 0; round < 20; ++round) {
            ChipSettings::Positions positions;
            for (std::size_t i = 0; i < positions.size(); ++i)
                positions[i] = random.bounded(
                    ChipSettings::settings[i].minimum, ChipSettings::settings[i].maximum + 1);
            QCOMPARE(SetupFile::write(path("in.qd7310"), positions), QString());
            SetupWindow w;
            QVERIFY(w.setup->open(path("in.qd7310")));
            QCOMPARE(w.setup->positions(), positions);
            QCOMPARE(w.window->windowTitle(), QString("in.qd7310[*] - QD7310 Evaluation Software"));
            QVERIFY(w.setup->saveAs(path("out.qd7310")));
            QFile out(path("out.qd7310"));
            QVERIFY(out.open(QIODevice::ReadOnly));
            QCOMPARE(out.readAll(), SetupFile::serialize(positions));

            // The sliders moved as a user moves them: labels and register image, nothing sent.
            QCOMPARE(w.received(), QStringList());
            QCOMPARE(w.find<QLabel>("off3Label")->text(),
                ChipSettings::labelText(ChipSettings::Off3, positions[ChipSettings::Off3]));
            w.find<QPushButton>("train3Button")->click();
            for (int i = 0; i < ChipSettings::kCount; ++i)
                QCOMPARE(w.received().at(i), QString("W%1=%2").arg(i + 1).arg(positions[i]));
        }
    }

    void refused_data() { addRefusedSetupRows(); }

    void refused()
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
        QVERIFY2(
            answer.text.contains(file) && answer.text.contains(problem), qPrintable(answer.text));
        QCOMPARE(w.setup->positions(), ChipSettings::startPositions());
        QCOMPARE(w.received(), QStringList());
        QCOMPARE(w.window->windowTitle(), QString("QD7310 Evaluation Software"));
    }

    void closing_data()
    {
        QTest::addColumn<int>("answer"); // none: a window that never opened a setup is not asked
        QTest::newRow("never opened") << int(QMessageBox::NoButton);
        QTest::newRow("save") << int(QMessageBox::Save);
        QTest::newRow("discard") << int(QMessageBox::Discard);
        QTest::newRow("cancel") << int(QMessageBox::Cancel);
    }

    void closing()
    {
        QFETCH(int, answer);
        const bool opened = answer != QMessageBox::NoButton;
        const QString file = path("closing.qd7310");
        QCOMPARE(SetupFile::write(file, ChipSettings::startPositions()), QString());
        SetupWindow w;
        if (opened)
            QVERIFY(w.setup->open(file));
        w.find<QSlider>("on1Slider")->setValue(9);
        QCOMPARE(w.window->isWindowModified(), opened);

        Answer asked { QMessageBox::StandardButton(answer) };
        QCOMPARE(w.window->close(), answer != QMessageBox::Cancel);
        QCOMPARE(asked.text.isEmpty(), !opened);
        ChipSettings::Positions inFile;
        QCOMPARE(SetupFile::read(file, &inFile), QString());
        QCOMPARE(inFile[ChipSettings::On1], answer == QMessageBox::Save ? 9 : 0);
    }
};

QTEST_MAIN(TestSetupActions)
#include "tst_setupactions.moc"
