#include "boardtrace.h"
#include "ctlcommand.h"
#include "ctlsession.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

// One qd7310-ctl command against the simulated board: as a whole process, the way a bench
// script runs it, next to the host cost of the same command inside a running program.
namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList commands[] = { { "spi-write", "15", "20" }, { "train", "3" } };

    constexpr int kRuns = 40;
    for (const QStringList &command : commands) {
        std::vector<double> ms;
        for (int i = 0; i < kRuns; ++i) {
            QProcess ctl;
            const auto start = Clock::now();
            ctl.start(QStringLiteral(QD7310_CTL), QStringList { "--simulated" } + command);
            ctl.waitForFinished();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            if (ctl.exitCode() != 0)
                std::printf("qd7310-ctl %s failed\n", qPrintable(command.join(' ')));
        }
        std::printf("process   qd7310-ctl --simulated %-14s median %7.2f ms over %d runs\n",
            qPrintable(command.join(' ')), median(ms), kRuns);
    }

    std::string trace;
    BoardTrace::setBuffer(&trace);
    SimulatedBoard board;
    Ctl::Session session([&board] { return std::make_unique<USBHid2>(board.platform()); });
    constexpr int kCalls = 20000;
    for (const QStringList &command : commands) {
        Ctl::Request request;
        Ctl::parseCommand(command, &request);
        session.run(request); // the search, once, as a script's first command
        const auto start = Clock::now();
        for (int i = 0; i < kCalls; ++i) {
            session.run(request);
            trace.clear();
        }
        const double us
            = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kCalls;
        std::printf("in-process %-29s %9.2f us per command\n", qPrintable(command.join(' ')), us);
    }
    BoardTrace::setBuffer(nullptr);
    return 0;
}
