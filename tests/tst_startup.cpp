// Start-up and shutdown as a user sees them: the icon, the About dialog, File > Close.
#include "aboutdialog.h"
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void images_data();
    void images();
    void iconBeforeFirstShow();
    void closeEndsLoopWithZero();
    void closeButtonEndsLoopWithZero();
    void aboutDialogContents();
    void twoAboutDialogs();
    void aboutDialogIsFreedWhenClosed();
};

static QList<AboutDialog *> aboutDialogs()
{
    QList<AboutDialog *> dialogs;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *d = qobject_cast<AboutDialog *>(w))
            dialogs << d;
    }
    return dialogs;
}

void TestStartup::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("palette");
    QTest::newRow("icon") << ":/images/brelvan_icon48x48.png" << QSize(48, 48) << true;
    QTest::newRow("logo") << ":/images/logo.png" << QSize(250, 70) << false;
}

void TestStartup::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(bool, palette);
    QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format() == QImage::Format_Indexed8, palette);
    if (!palette)
        QVERIFY(image.hasAlphaChannel());
}

void TestStartup::iconBeforeFirstShow()
{
    MainWindow w;
    const QIcon icon = w.windowIcon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.pixmap(48, 48).size(), QSize(48, 48));
    QVERIFY(!w.isVisible());
}

void TestStartup::closeEndsLoopWithZero()
{
    MainWindow w;
    w.show();
    QTimer::singleShot(0, &w, [&w] { w.findChild<QAction *>("actionClose")->trigger(); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!w.isVisible());
}

void TestStartup::closeButtonEndsLoopWithZero()
{
    MainWindow w;
    w.show();
    QTimer::singleShot(0, &w, [&w] { w.close(); });
    QCOMPARE(QApplication::exec(), 0);
}

void TestStartup::aboutDialogContents()
{
    MainWindow w;
    w.findChild<QAction *>("actionAbout")->trigger();
    const QList<AboutDialog *> dialogs = aboutDialogs();
    QCOMPARE(dialogs.size(), 1);
    AboutDialog *d = dialogs.first();
    QCOMPARE(d->parent(), nullptr);
    QVERIFY(d->isVisible());
    QVERIFY(!d->isModal());
    QCOMPARE(d->objectName(), QString("AboutDialog"));
    QCOMPARE(d->windowTitle(), QString("Dialog"));
    QCOMPARE(d->size(), QSize(222, 164));

    auto *ok = d->findChild<QPushButton *>("pushButton");
    QCOMPARE(ok->text(), QString("OK"));
    QCOMPARE(ok->geometry(), QRect(130, 120, 75, 23));
    auto *browser = d->findChild<QTextBrowser *>("textBrowser");
    QCOMPARE(browser->geometry(), QRect(20, 20, 181, 91));
    QCOMPARE(browser->toPlainText(),
        QString("Brelvan\nQD7310 Evaluation Software\nVersion: " QD7310_VERSION));
    QVERIFY(!browser->toHtml().contains("<a "));
    QVERIFY(browser->toHtml().contains("font-size:8pt"));
    d->close();
}

void TestStartup::twoAboutDialogs()
{
    MainWindow w;
    QAction *about = w.findChild<QAction *>("actionAbout");
    about->trigger();
    about->trigger();
    const QList<AboutDialog *> dialogs = aboutDialogs();
    QCOMPARE(dialogs.size(), 2);
    QTest::mouseClick(dialogs.at(0)->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    QVERIFY(!dialogs.at(0)->isVisible());
    QVERIFY(dialogs.at(1)->isVisible());
    dialogs.at(1)->close();
}

void TestStartup::aboutDialogIsFreedWhenClosed()
{
    MainWindow w;
    w.findChild<QAction *>("actionAbout")->trigger();
    QPointer<AboutDialog> dialog = aboutDialogs().value(0);
    QVERIFY(dialog);
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(aboutDialogs().isEmpty());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
