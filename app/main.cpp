#include "mainwindow.h"
#include "setupactions.h"
#include "usbhid2.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <string>

int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Programs the QD7310 through its evaluation board."));
    const QCommandLineOption board(QStringLiteral("board"),
        QStringLiteral("Use only the board at LOCATION, as qd7310-ctl list shows it; the search "
                       "skips every other board."),
        QStringLiteral("LOCATION"));
    parser.addOption(board);
    parser.addHelpOption();
    SetupActions::addArgument(parser);
    parser.process(a);
    if (!SetupActions::checkArgument(parser))
        return 64; // EX_USAGE

    if (!parser.isSet(board)) {
        MainWindow w;
        return SetupActions::run(w, parser);
    }
    // With several boards on a bench, each window faces its own, and says which in its title.
    const QString location = parser.value(board);
    if (const char *error = boardLocationError(location.toStdString())) {
        std::fprintf(stderr, "qd7310-eval: %s\n", error);
        return 64; // EX_USAGE, as qd7310-ctl gives it
    }
    MainWindow w([location] {
        auto link = std::make_unique<USBHid2>();
        link->setBoardLocation(location.toStdString());
        return link;
    });
    w.setWindowTitle(w.windowTitle() + QStringLiteral(" (board %1)").arg(location));
    return SetupActions::run(w, parser);
}
