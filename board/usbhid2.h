#pragma once

// PROVISIONAL: the board-link owner replaces this file; the public operations below are fixed.

#include <memory>

class HidPlatform;

// The link to the evaluation board: finds it among the HID devices, exchanges one
// report per command and offers the board's command set.
class USBHid2
{
public:
    static constexpr int kWriteTimeoutMs = 1000;

    USBHid2(); // the platform layer chosen at build time
    explicit USBHid2(std::unique_ptr<HidPlatform> platform, int writeTimeoutMs = kWriteTimeoutMs);
    ~USBHid2();

    int usb_hid_init();
    int conn_status();

    int init_controller();
    int i2c_write(int devAddr, int regAddr, int data, int *status = nullptr);
    int spi_write(int regAddr, int data, int *status = nullptr);
    int i2c_read(int devAddr, int regAddr, int *status = nullptr);
    int spi_read(int reg, int *status = nullptr);
    int measure(int channel, int adcDevice, int *status = nullptr);
    int read_pin(int pinGroup, int pin, int *status = nullptr);
    int set_pin_dir(int pinGroup, int pin, int value, int *status = nullptr);
    int set_pin(int pinGroup, int pin, int value, int *status = nullptr);

    int mConn_status = 0;
};
