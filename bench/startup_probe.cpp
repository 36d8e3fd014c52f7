// Started by bench_startup: shows a main window, and at its first paint prints
// "painted <resident KiB>" and quits. Built three times: with the tool's window, bare, and
// bare with one line of text (which is when Qt loads the system's font database).
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>

#ifndef QD7310_BARE
#include "mainwindow.h"
#endif

static long residentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            // After this paint has been handled, so its cost is counted too.
            QTimer::singleShot(0, [] {
                std::printf("\npainted %ld\n", residentKiB());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }
    bool seen = false;
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifdef QD7310_BARE
    QMainWindow w;
#ifdef QD7310_BARE_TEXT
    w.statusBar()->showMessage("ready");
#endif
#else
    MainWindow w;
#endif
    FirstPaint filter;
    w.installEventFilter(&filter);
    w.show();
    return app.exec();
}
