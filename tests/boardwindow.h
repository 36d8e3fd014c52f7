#pragma once

// A main window on a simulated board, with the link's trace kept out of the test log, and
// what the board received decoded into short readable steps.
#include "boardtrace.h"
#include "mainwindow.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QLabel>
#include <QStatusBar>
#include <QStringList>

#include <memory>

struct BoardWindow
{
    // Short, so stalled writes cost little; the window cannot tell the difference.
    static constexpr int kTestTimeoutMs = 20;

    SimulatedBoard board;
    BoardTraceCapture trace;
    std::unique_ptr<MainWindow> window;

    void open()
    {
        window = std::make_unique<MainWindow>(
            [this] { return std::make_unique<USBHid2>(board.platform(), kTestTimeoutMs); });
    }

    template <typename T> T *find(const char *name) const { return window->findChild<T *>(name); }

    // The connection text at the right end of the status bar.
    QString connectionText() const
    {
        const QList<QLabel *> labels = window->statusBar()->findChildren<QLabel *>();
        return labels.isEmpty() ? QString() : labels.last()->text();
    }

    // "W<reg>=<data>" spi_write, "R<reg>" spi_read, "I" init_controller,
    // "P<group>.<pin>=<level>" set_pin, "D<group>.<pin>=<dir>" set_pin_dir.
    QStringList received() const
    {
        QStringList steps;
        for (const SimulatedBoard::ReceivedReport &r : board.reports())
            steps << decode(r);
        return steps;
    }

    static QString decode(const SimulatedBoard::ReceivedReport &r)
    {
        switch (r.command()) {
        case 0x00:
            return "I";
        case 0x11:
            return QString("W%1=%2").arg(r.param(2)).arg(r.param(1));
        case 0x22:
            return QString("R%1").arg((r.param(2) & 0x3E) >> 1);
        case 0x38: {
            const int mask = r.param(1) | r.param(2);
            int pin = 0;
            while (pin < 8 && mask != (1 << pin))
                ++pin;
            const char kind = r.param(4) == 1 ? 'D' : r.param(4) == 3 ? 'P' : '?';
            return QString("%1%2.%3=%4").arg(kind).arg(r.param(3)).arg(pin).arg(r.param(1) ? 1 : 0);
        }
        default:
            return QString("?%1").arg(r.command());
        }
    }

    // The board preparation, in the order the board must receive it.
    static QStringList preparation()
    {
        return { "I", "P1.1=1", "D1.1=0", "D2.2=1", "D2.3=1", "D2.4=1", "D2.5=0", "D2.6=1",
            "D3.0=1", "D3.1=1", "D3.2=1", "D1.3=0", "D2.0=1", "D2.1=1", "D1.0=1", "D1.6=1",
            "P2.1=1", "P2.0=1", "P1.1=1", "D1.1=0", "P2.6=0", "P3.0=1", "P2.2=0", "P2.3=0",
            "P2.4=0", "P3.1=0", "P3.2=0" };
    }
};
