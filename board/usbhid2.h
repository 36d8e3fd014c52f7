#pragma once

#include "hidplatform.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

struct BoardCommandLayout;
struct BoardTraceValue;

// One board present on the bus, as a listing shows it.
struct BoardListing
{
    std::string location; // as HidPlatform::location gives it
    bool openable = false;
    bool answers = false; // to the probe, a read of chip register 15
    std::string advice; // why it cannot be used and what to do, when it cannot be opened or claimed
};

// What is wrong with a board location a user gave (--board), as a usage error says it; nullptr
// when nothing is. Every program that takes a location checks it here.
const char *boardLocationError(const std::string &location);

// The link to the evaluation board: finds it among the HID devices, exchanges one report per
// command and offers the board's command set. Single-threaded: one exchange at a time.
class USBHid2
{
public:
    static constexpr int kWriteTimeoutMs = 1000;
    static constexpr int kReportLength = 17;
    static constexpr int kAnswerLength = 8;
    static constexpr int kAnswerStringIndex = 244;
    static constexpr int kProbeRegister = 15; // read by the probe; any answer proves the board

    // Uses the platform layer chosen at build time and a write time-out of kWriteTimeoutMs.
    USBHid2();
    explicit USBHid2(std::unique_ptr<HidPlatform> platform, int writeTimeoutMs = kWriteTimeoutMs);
    // Closes the board if it is open.
    ~USBHid2();
    USBHid2(const USBHid2 &) = delete;
    USBHid2 &operator=(const USBHid2 &) = delete;

    // Closes any open device, then opens the first HID interface that carries the board's vendor
    // and product IDs (at the board location, when one is set) and claims it for this program.
    // Returns the new mConn_status: 1 when the board is open, else 0. A board that is present
    // but cannot be used (not opened, or in use by another program) is named on the debug
    // channel; a search that finds the same again says nothing more.
    int usb_hid_init();
    // Why the last usb_hid_init found the board present but could not use it, with what to do;
    // empty when it found the board usable or found none.
    const std::string &unopenableBoardMessage() const { return mUnopenableMessage; }

    // Restricts usb_hid_init to the interface at `location` (HidPlatform::location): every other
    // device is skipped unopened. Empty, the default: the first board found.
    void setBoardLocation(const std::string &location) { mBoardLocation = location; }
    const std::string &boardLocation() const { return mBoardLocation; }
    // Every board present (at the board location, when one is set), in search order: where it
    // is, whether it opens and whether it answers the probe. The board the link holds is probed
    // through its own handle and stays open while it answers; when it does not, the link closes
    // it (mConn_status 0) and probes it as any other. Every other board is opened, claimed,
    // probed and closed again. A board another program holds is listed and never written to.
    std::vector<BoardListing> listBoards();
    // Where the boards present are, as far as the system tells without opening any device:
    // nothing is opened, claimed or sent. The board location is not consulted.
    std::vector<std::string> boardLocations();
    // Probes the board with a read of chip register 15. Returns mConn_status unchanged when the
    // board answers with status 0; otherwise clears mConn_status and returns 0. Never raises it.
    int conn_status();

    // The board's commands. Writes and pin commands return 1 or 0, reads the value or -1. When the
    // board answers with a non-zero status, that status (1..255) is stored through a non-null
    // status pointer; a missing answer leaves it untouched. A report that did not go out fails
    // the command, whatever the read-back returns, and leaves the status untouched too.
    int init_controller(int *status = nullptr);
    int i2c_write(int devAddr, int regAddr, int data, int *status = nullptr);
    int spi_write(int regAddr, int data, int *status = nullptr);
    int i2c_read(int devAddr, int regAddr, int *status = nullptr);
    int spi_read(int reg, int *status = nullptr);
    int measure(int channel, int adcDevice, int *status = nullptr);
    int read_pin(int pinGroup, int pin, int *status = nullptr);
    int set_pin_dir(int pinGroup, int pin, int value, int *status = nullptr);
    int set_pin(int pinGroup, int pin, int value, int *status = nullptr);

    int mConn_status = 0;
    HidHandle mDev_handle = kInvalidHidHandle;

    // How many reports did not go out (a write error or time-out) since the link was made. Such a
    // command fails whatever the read-back returns.
    int reportsNotSent() const { return mReportsNotSent; }

    // The last report sent with the answer read over it; the same buffer serves both.
    const std::array<std::uint8_t, kReportLength> &reportBuffer() const { return mReport_buffer; }

private:
    enum class Answer { Missing, Refused, Accepted };

    void closeDevice();
    int write_report();
    Answer exchange(const BoardCommandLayout &command, std::uint8_t param1, std::uint8_t param2,
        std::uint8_t param3, std::initializer_list<BoardTraceValue> arguments, int *status);
    int writeCommand(const BoardCommandLayout &command, std::uint8_t param1, std::uint8_t param2,
        std::uint8_t param3, std::initializer_list<BoardTraceValue> arguments, int *status);
    int pinCommand(
        const BoardCommandLayout &command, int pinGroup, int pin, int value, int *status);

    bool isBoardAt(int index);

    std::unique_ptr<HidPlatform> mPlatform;
    int mWriteTimeoutMs;
    std::string mBoardLocation;
    std::string mDev_location = kUnknownLocation; // of the board mDev_handle holds
    std::string mUnopenableMessage;
    std::string mReportedMessage; // the last one said on the debug channel
    int mReportsNotSent = 0;
    std::array<std::uint8_t, kReportLength> mReport_buffer {};
};
