// A Train 3 press against a simulated board whose every transfer takes one USB full-speed
// frame (1 ms), as a ratio to the 32 ms floor of its 16 commands; and the cost of one
// connection check with no board present.
#include "boardtrace.h"
#include "mainwindow.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

// Spins rather than sleeps: a sleep overshoots by more than the overhead being measured.
void busyWait(std::chrono::microseconds d)
{
    const auto until = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < until) { }
}

class FramePacedPlatform : public HidPlatform
{
public:
    explicit FramePacedPlatform(std::unique_ptr<HidPlatform> inner) : mInner(std::move(inner)) { }
    int listDevices() override { return mInner->listDevices(); }
    void releaseDeviceList() override { mInner->releaseDeviceList(); }
    HidHandle open(int index) override { return mInner->open(index); }
    bool readIds(HidHandle h, std::uint16_t *v, std::uint16_t *p) override
    {
        return mInner->readIds(h, v, p);
    }
    HidWriteResult writeReport(HidHandle h, const std::uint8_t *r, int n, int t) override
    {
        busyWait(std::chrono::milliseconds(1));
        return mInner->writeReport(h, r, n, t);
    }
    bool readString(HidHandle h, int i, std::uint8_t *b, int n) override
    {
        busyWait(std::chrono::milliseconds(1));
        return mInner->readString(h, i, b, n);
    }
    void close(HidHandle h) override { mInner->close(h); }

private:
    std::unique_ptr<HidPlatform> mInner;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::FILE *devnull = std::fopen("/dev/null", "w");
    BoardTrace::setFile(devnull);
    QLoggingCategory::setFilterRules("*.debug=false");

    {
        SimulatedBoard board;
        MainWindow w([&board] {
            return std::make_unique<USBHid2>(
                std::make_unique<FramePacedPlatform>(board.platform()));
        });
        auto *train3 = w.findChild<QPushButton *>("train3Button");
        std::vector<double> ms;
        for (int i = 0; i < 30; ++i) {
            QElapsedTimer t;
            t.start();
            train3->click();
            ms.push_back(t.nsecsElapsed() / 1e6);
        }
        const double m = median(ms);
        std::printf(
            "Train 3 press, 1 ms per transfer: %.3f ms, %.4fx the 32 ms floor (target <= 1.05)\n",
            m, m / 32.0);
    }

    const auto checkCost = [](MainWindow &w) {
        std::vector<double> us;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            QMetaObject::invokeMethod(&w, "check_conn_status");
            us.push_back(t.nsecsElapsed() / 1e3);
        }
        return median(us);
    };
    {
        SimulatedBoard board;
        board.setPresent(false);
        MainWindow w([&board] { return std::make_unique<USBHid2>(board.platform()); });
        std::printf(
            "connection check, no board, simulated bus: %.1f us (target <= 1000)\n", checkCost(w));
    }
    {
        MainWindow w;
        std::printf(
            "connection check, no board, this machine's USB layer: %.1f us (target <= 1000)\n",
            checkCost(w));
    }
    BoardTrace::setFile(stdout);
    std::fclose(devnull);
    return 0;
}
