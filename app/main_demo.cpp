#include "mainwindow.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QApplication>

// The evaluation tool on a simulated board: every button reaches a simulated chip, so the tool
// can be tried without hardware. Only this program ever links the simulated board; the real
// tool never falls back to it.
int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    SimulatedBoard board;
    board.setRecording(false);
    MainWindow w([&board] { return std::make_unique<USBHid2>(board.platform()); });
    w.setWindowTitle(w.windowTitle() + QStringLiteral(" (demo)"));
    w.show();
    return a.exec();
}
