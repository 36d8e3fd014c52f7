#include "boardtrace.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <chrono>
#include <cstdio>
#include <functional>

// Host-side cost of one board command against a board that answers at once, trace to /dev/null.
// A full-speed USB frame is 1 ms; the link should stay far below it.
namespace {

double microsecondsPerCall(int calls, const std::function<void()> &call)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        call();
    const std::chrono::duration<double, std::micro> elapsed
        = std::chrono::steady_clock::now() - start;
    return elapsed.count() / calls;
}

} // namespace

int main()
{
    std::FILE *null = std::fopen("/dev/null", "w");
    if (!null)
        return 0;
    BoardTrace::setFile(null);

    SimulatedBoard board;
    USBHid2 link(board.platform());
    link.usb_hid_init();
    constexpr int kCalls = 200000;

    const struct
    {
        const char *name;
        std::function<void()> call;
    } cases[] = {
        { "spi_write", [&] { link.spi_write(15, 20); } },
        { "spi_read", [&] { link.spi_read(15); } },
        { "measure", [&] { link.measure(3, 1); } },
        { "set_pin", [&] { link.set_pin(1, 6, 1); } },
    };
    std::printf("board command, host side, %d calls each (target < 10 us):\n", kCalls);
    for (const auto &entry : cases) {
        microsecondsPerCall(kCalls / 10, entry.call); // warm the caches
        board.clearReports();
        std::printf(
            "  %-32s %8.3f us/command\n", entry.name, microsecondsPerCall(kCalls, entry.call));
    }
    board.clearReports();
    std::printf("  %-32s %8.3f ms/search\n", "usb_hid_init",
        microsecondsPerCall(20000, [&] { link.usb_hid_init(); }) / 1000.0);
    BoardTrace::setFile(nullptr);
    std::fclose(null);
    return 0;
}
