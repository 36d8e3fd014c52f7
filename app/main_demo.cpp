#include "mainwindow.h"
#include "setupactions.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QApplication>
#include <QCommandLineParser>

// The evaluation tool on a simulated board: every button reaches a simulated chip, so the tool
// can be tried without hardware. Only this program ever links the simulated board; the real
// tool never falls back to it.
int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The QD7310 evaluation tool on a simulated board."));
    parser.addHelpOption();
    SetupActions::addArgument(parser);
    parser.process(a);
    if (!SetupActions::checkArgument(parser))
        return 64; // EX_USAGE

    SimulatedBoard board;
    board.setRecording(false);
    MainWindow w([&board] { return std::make_unique<USBHid2>(board.platform()); });
    w.setWindowTitle(w.windowTitle() + QStringLiteral(" (demo)"));
    return SetupActions::run(w, parser);
}
