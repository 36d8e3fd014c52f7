#include "boardtrace.h"
#include "usbhid2.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> searchMessages; // the search's debug messages, held until its outcome

void holdMessage(const char *message)
{
    searchMessages.emplace_back(message);
}

} // namespace

// A console smoke test of the board link on real hardware: search, probe, initialise, read the
// chip's register 15. Exit code 0 when the board answered, 1 when it was not found, 2 when it
// was found but failed to answer.
int main()
{
    USBHid2 link;
    const BoardDebugSink previous = setBoardDebugSink(holdMessage);
    const bool found = link.usb_hid_init();
    setBoardDebugSink(previous);
    // The advice for a board that cannot be opened is the check's own error, given once.
    const std::string &advice = link.unopenableBoardMessage();
    for (const std::string &message : searchMessages)
        if (message != advice)
            std::fprintf(stderr, "%s\n", message.c_str());
    if (!found) {
        std::puts("board not found");
        if (!advice.empty())
            std::fprintf(stderr, "qd7310-boardcheck: %s\n", advice.c_str());
        return 1;
    }
    const bool answered = link.conn_status() && link.init_controller() && link.spi_read(15) >= 0;
    std::puts(answered ? "board answers" : "board does not answer");
    return answered ? 0 : 2;
}
