#pragma once

#include "boardfirmware.h"
#include "hidplatform.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A simulated evaluation board on a simulated HID bus, for tests and tools that run without
// hardware. It is chosen only by handing its platform() to a USBHid2 explicitly:
//
//     SimulatedBoard board;
//     USBHid2 link(board.platform(), 50);
//
// The test owns the board and keeps it beside the link to inspect and steer it. The board answers
// from its BoardFirmware, records every report that reaches it, and can be told to fail.
// If the board dies before the platform, the platform finds no device from then on.
class SimulatedBoard
{
public:
    // Another HID device on the bus, or the board's own entry.
    struct Device
    {
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        bool openable = true; // false: the IDs can still be read from the bus, unopened
        bool idsReadable = true;
    };

    // One output report as the board received it, in arrival order.
    struct ReceivedReport
    {
        std::array<std::uint8_t, BoardFirmware::kReportLength> bytes {};
        int boardInstance = 0; // 0, or 1 for the second board when it appears twice

        std::uint8_t command() const { return bytes[3]; }
        // Parameter byte 1..4, that is report bytes 5..8.
        std::uint8_t param(int n) const { return bytes[static_cast<std::size_t>(4 + n)]; }
    };

    enum class Fault {
        NoAnswer, // the report arrives and is carried out, but the string request fails
        StalledWrite, // the write never completes: the link's time-out fires; nothing arrives
        ErrorStatus, // the report arrives and is answered with the given status, not carried out
        Unplug, // the board is gone from this exchange on, until setPresent(true)
    };

    SimulatedBoard();
    SimulatedBoard(std::uint16_t vendorId, std::uint16_t productId); // defaults: the build's IDs
    ~SimulatedBoard();
    SimulatedBoard(const SimulatedBoard &) = delete;
    SimulatedBoard &operator=(const SimulatedBoard &) = delete;

    // A platform layer whose bus holds this board; any number may be handed out.
    std::unique_ptr<HidPlatform> platform();
    // One bus holding several boards, each with its other devices around it, in this order.
    static std::unique_ptr<HidPlatform> platform(const std::vector<SimulatedBoard *> &boards);

    // Where the board sits on the bus, as its creator names it; "sim-1" unless set. The second
    // instance of a board that appears twice is "<location>#2".
    void setLocation(const std::string &location) { mLocation = location; }
    const std::string &location() const { return mLocation; }

    BoardFirmware &firmware() { return mFirmware; }

    // The bus. Devices added "before" are enumerated ahead of the board, "after" behind it. A
    // device without a location is one whose place the bus cannot tell.
    void addDeviceBefore(const Device &device, const std::string &location = {})
    {
        mBefore.push_back({ device, location });
    }
    void addDeviceAfter(const Device &device, const std::string &location = {})
    {
        mAfter.push_back({ device, location });
    }
    void clearOtherDevices();
    // Unplugging kills the handles open on the board; plugging in again makes a new device that
    // must be searched for and opened anew, with its firmware powered up afresh.
    void setPresent(bool present);
    bool isPresent() const { return mPresent; }
    void setBoardCount(int count) { mBoardCount = count; } // 2: the board appears twice
    void setBoardOpenable(bool openable) { mBoard.openable = openable; }
    void setBoardIdsReadable(bool readable) { mBoard.idsReadable = readable; }
    // Another program holds the board: it opens, but cannot be claimed.
    void setBoardHeldElsewhere(bool held) { mHeldElsewhere = held; }

    // Lasting faults, until switched off.
    void setStallWrites(bool stall) { mStallWrites = stall; }
    void setFailStringReads(bool fail) { mFailStringReads = fail; }
    // For a chosen command, see BoardFirmware::setCommandStatus.

    // Planned faults: exchange number `exchange`, counted from now (1 = the next), fails as
    // given. An exchange is one report write on an open board handle. `status` is the answer's
    // status byte for Fault::ErrorStatus.
    void planFault(int exchange, Fault fault, std::uint8_t status = 0xE1);
    void clearFaultPlan() { mPlan.clear(); }

    // Off for a board that runs for as long as a user likes (the demo), so memory stays flat.
    void setRecording(bool recording) { mRecording = recording; }
    const std::vector<ReceivedReport> &reports() const { return mReports; }
    void clearReports() { mReports.clear(); }
    int exchangeCount() const { return mExchanges; } // report writes on board handles, ever
    int stringRequestCount() const { return mStringRequests; }
    int openHandleCount() const { return static_cast<int>(mHandles.size()); }
    // How often each board instance was opened since the board was made.
    int boardOpenCount(int instance) const;

private:
    friend class SimulatedHidPlatform;

    struct Other
    {
        Device device;
        std::string location;
    };
    struct Entry
    {
        Device device;
        int boardInstance; // -1 for other devices
        std::string location;
    };
    struct OpenDevice
    {
        int boardInstance;
        int generation;
        Device device;
    };

    int listDevices();
    HidHandle open(int index);
    bool readListedIds(int index, std::uint16_t *vendorId, std::uint16_t *productId) const;
    std::string listedLocation(int index) const;
    const OpenDevice *liveDevice(HidHandle handle) const;
    bool readIds(HidHandle handle, std::uint16_t *vendorId, std::uint16_t *productId) const;
    HidClaim claim(HidHandle handle) const;
    HidWriteResult writeReport(HidHandle handle, const std::uint8_t *report, int length);
    bool readString(HidHandle handle, int index, std::uint8_t *buffer, int length);
    void close(HidHandle handle) { mHandles.erase(handle); }

    std::shared_ptr<SimulatedBoard *> mSelf;
    BoardFirmware mFirmware;
    std::string mLocation = "sim-1";
    Device mBoard;
    std::vector<Other> mBefore;
    std::vector<Other> mAfter;
    std::vector<Entry> mSnapshot;
    std::map<HidHandle, OpenDevice> mHandles;
    std::map<int, Fault> mPlan; // by exchange number
    std::map<int, std::uint8_t> mPlanStatus;
    std::vector<ReceivedReport> mReports;
    std::array<int, 2> mOpenCounts {};
    HidHandle mNextHandle = 1;
    int mBoardCount = 1;
    int mGeneration = 0;
    int mExchanges = 0;
    int mStringRequests = 0;
    bool mPresent = true;
    bool mRecording = true;
    bool mHeldElsewhere = false;
    bool mStallWrites = false;
    bool mFailStringReads = false;
    bool mNoAnswerPending = false;
    bool mHasRefusedAnswer = false;
    BoardFirmware::Answer mRefusedAnswer {};
};
