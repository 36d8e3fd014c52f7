// PROVISIONAL stub: a link that never finds a board.
#include "usbhid2.h"

class HidPlatform
{
public:
    virtual ~HidPlatform() = default;
};

USBHid2::USBHid2() = default;
USBHid2::USBHid2(std::unique_ptr<HidPlatform>, int) { }
USBHid2::~USBHid2() = default;
int USBHid2::usb_hid_init() { return 0; }
int USBHid2::conn_status() { return 0; }
int USBHid2::init_controller() { return 0; }
int USBHid2::i2c_write(int, int, int, int *) { return 0; }
int USBHid2::spi_write(int, int, int *) { return 0; }
int USBHid2::i2c_read(int, int, int *) { return -1; }
int USBHid2::spi_read(int, int *) { return -1; }
int USBHid2::measure(int, int, int *) { return -1; }
int USBHid2::read_pin(int, int, int *) { return -1; }
int USBHid2::set_pin_dir(int, int, int, int *) { return 0; }
int USBHid2::set_pin(int, int, int, int *) { return 0; }
