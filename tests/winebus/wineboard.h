#pragma once

#include "boardfirmware.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One emulated board in Wine's HID stack, played by this process: it serves the pipe that the test
// minidriver relays the device's output reports and string requests to (driver/relay.h), answers
// from a BoardFirmware, and records what arrived. The device itself is plugged and unplugged
// with winebusdevice.h; a device whose pipe nobody serves fails every write and string request.
//
// The server thread touches the firmware and the switches under a lock; the test touches them
// between link calls, while the driver waits for nothing.
class WineBoard
{
public:
    struct Event
    {
        enum Kind { Report, StringRequest, Discarded };
        Kind kind;
        int value = 0; // Report: the report ID; StringRequest: the string index
        std::vector<std::uint8_t> data; // Report: the bytes without the report ID
    };

    explicit WineBoard(const std::wstring &instance);
    ~WineBoard();
    WineBoard(const WineBoard &) = delete;
    WineBoard &operator=(const WineBoard &) = delete;

    BoardFirmware &firmware() { return mFirmware; }
    std::mutex &lock() { return mMutex; }

    // Output reports are held unanswered until the writer cancels them.
    void setStallWrites(bool stall);
    // Output reports fail as a device error would fail them.
    void setFailWrites(bool fail);
    // String requests fail: the board gives no answer.
    void setRefuseStrings(bool refuse);

    std::vector<Event> events() const;
    void clearEvents();

private:
    void serve();
    void answer(void *pipe);

    std::wstring mPipeName;
    void *mStop = nullptr; // an event that ends the server thread
    mutable std::mutex mMutex;
    BoardFirmware mFirmware;
    bool mStallWrites = false;
    bool mFailWrites = false;
    bool mRefuseStrings = false;
    std::vector<Event> mEvents;
    std::thread mThread;
};
