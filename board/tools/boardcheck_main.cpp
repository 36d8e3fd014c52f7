#include "usbhid2.h"

#include <cstdio>

// A console smoke test of the board link on real hardware: search, probe, initialise, read the
// chip's register 15. Exit code 0 when the board answered, 1 when it was not found, 2 when it
// was found but failed to answer.
int main()
{
    USBHid2 link;
    if (!link.usb_hid_init()) {
        std::puts("board not found");
        return 1;
    }
    const bool answered = link.conn_status() && link.init_controller() && link.spi_read(15) >= 0;
    std::puts(answered ? "board answers" : "board does not answer");
    return answered ? 0 : 2;
}
