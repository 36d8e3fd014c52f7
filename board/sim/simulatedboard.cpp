#include "simulatedboard.h"

#include "boardidentity.h"

#include <algorithm>
#include <cstring>

// The platform face of one or more SimulatedBoards on one bus. It holds each board through a
// shared cell that the board clears when it dies, so a platform that outlives its board finds
// that board's devices gone. Snapshot indices and handles of the bus map onto each board's own.
class SimulatedHidPlatform : public HidPlatform
{
public:
    explicit SimulatedHidPlatform(std::vector<std::shared_ptr<SimulatedBoard *>> boards)
        : mBoards(std::move(boards))
    { }
    ~SimulatedHidPlatform() override
    {
        while (!mOpened.empty())
            close(mOpened.begin()->first);
    }

    int listDevices() override
    {
        mSnapshot.clear();
        for (std::size_t b = 0; b < mBoards.size(); ++b) {
            const int count = *mBoards[b] ? (*mBoards[b])->listDevices() : 0;
            for (int index = 0; index < count; ++index)
                mSnapshot.push_back({ b, index });
        }
        return static_cast<int>(mSnapshot.size());
    }
    void releaseDeviceList() override
    {
        mSnapshot.clear();
        for (const auto &board : mBoards)
            if (*board)
                (*board)->mSnapshot.clear();
    }
    HidHandle open(int index) override
    {
        SimulatedBoard *board = listedBoard(index);
        const HidHandle own = board ? board->open(localIndex(index)) : kInvalidHidHandle;
        if (own == kInvalidHidHandle)
            return kInvalidHidHandle;
        const HidHandle handle = mNextHandle++;
        mOpened[handle] = { mSnapshot[std::size_t(index)].board, own };
        return handle;
    }
    bool readListedIds(int index, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        SimulatedBoard *board = listedBoard(index);
        return board && board->readListedIds(localIndex(index), vendorId, productId);
    }
    std::string location(int index) override
    {
        SimulatedBoard *board = listedBoard(index);
        return board ? board->listedLocation(localIndex(index)) : kUnknownLocation;
    }
    bool readIds(HidHandle handle, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        SimulatedBoard *board = openBoard(handle);
        return board && board->readIds(mOpened[handle].own, vendorId, productId);
    }
    HidClaim claim(HidHandle handle) override
    {
        SimulatedBoard *board = openBoard(handle);
        return board ? board->claim(mOpened[handle].own) : HidClaim::Failed;
    }
    HidWriteResult writeReport(
        HidHandle handle, const std::uint8_t *report, int length, int) override
    {
        if (SimulatedBoard *board = openBoard(handle))
            return board->writeReport(mOpened[handle].own, report, length);
        return { HidWriteResult::Failed, HidError::InvalidHandle };
    }
    bool readString(HidHandle handle, int index, std::uint8_t *buffer, int length) override
    {
        SimulatedBoard *board = openBoard(handle);
        return board && board->readString(mOpened[handle].own, index, buffer, length);
    }
    void close(HidHandle handle) override
    {
        const auto opened = mOpened.find(handle);
        if (opened == mOpened.end())
            return;
        if (SimulatedBoard *board = *mBoards[opened->second.board])
            board->close(opened->second.own);
        mOpened.erase(opened);
    }

private:
    struct Listed
    {
        std::size_t board;
        int index; // in that board's own snapshot
    };
    struct Opened
    {
        std::size_t board;
        HidHandle own; // the board's own handle
    };

    SimulatedBoard *listedBoard(int index) const
    {
        if (index < 0 || index >= static_cast<int>(mSnapshot.size()))
            return nullptr;
        return *mBoards[mSnapshot[std::size_t(index)].board];
    }
    int localIndex(int index) const { return mSnapshot[std::size_t(index)].index; }
    SimulatedBoard *openBoard(HidHandle handle) const
    {
        const auto opened = mOpened.find(handle);
        return opened == mOpened.end() ? nullptr : *mBoards[opened->second.board];
    }

    std::vector<std::shared_ptr<SimulatedBoard *>> mBoards;
    std::vector<Listed> mSnapshot;
    std::map<HidHandle, Opened> mOpened;
    HidHandle mNextHandle = 1;
};

SimulatedBoard::SimulatedBoard() : SimulatedBoard(kBoardVendorId, kBoardProductId) { }

SimulatedBoard::SimulatedBoard(std::uint16_t vendorId, std::uint16_t productId)
    : mSelf(std::make_shared<SimulatedBoard *>(this))
{
    mBoard.vendorId = vendorId;
    mBoard.productId = productId;
}

SimulatedBoard::~SimulatedBoard()
{
    *mSelf = nullptr;
}

std::unique_ptr<HidPlatform> SimulatedBoard::platform()
{
    return platform({ this });
}

std::unique_ptr<HidPlatform> SimulatedBoard::platform(const std::vector<SimulatedBoard *> &boards)
{
    std::vector<std::shared_ptr<SimulatedBoard *>> cells;
    for (SimulatedBoard *board : boards)
        cells.push_back(board->mSelf);
    return std::make_unique<SimulatedHidPlatform>(std::move(cells));
}

void SimulatedBoard::clearOtherDevices()
{
    mBefore.clear();
    mAfter.clear();
}

void SimulatedBoard::setPresent(bool present)
{
    if (present && !mPresent)
        mFirmware.reset();
    if (!present && mPresent)
        ++mGeneration;
    mPresent = present;
}

void SimulatedBoard::planFault(int exchange, Fault fault, std::uint8_t status)
{
    mPlan[mExchanges + exchange] = fault;
    mPlanStatus[mExchanges + exchange] = status;
}

int SimulatedBoard::boardOpenCount(int instance) const
{
    return mOpenCounts.at(static_cast<std::size_t>(instance));
}

int SimulatedBoard::listDevices()
{
    mSnapshot.clear();
    for (const Other &other : mBefore)
        mSnapshot.push_back({ other.device, -1, other.location });
    if (mPresent) {
        mSnapshot.push_back({ mBoard, 0, mLocation });
        if (mBoardCount > 1)
            mSnapshot.push_back({ mBoard, 1, mLocation + "#2" });
    }
    for (const Other &other : mAfter)
        mSnapshot.push_back({ other.device, -1, other.location });
    return static_cast<int>(mSnapshot.size());
}

HidHandle SimulatedBoard::open(int index)
{
    if (index < 0 || index >= static_cast<int>(mSnapshot.size()))
        return kInvalidHidHandle;
    const Entry &entry = mSnapshot[static_cast<std::size_t>(index)];
    // A board unplugged since the snapshot can no longer be opened.
    if (!entry.device.openable || (entry.boardInstance >= 0 && !mPresent))
        return kInvalidHidHandle;
    if (entry.boardInstance >= 0)
        ++mOpenCounts[static_cast<std::size_t>(entry.boardInstance)];
    const HidHandle handle = mNextHandle++;
    mHandles[handle] = { entry.boardInstance, mGeneration, entry.device };
    return handle;
}

// The bus knows every device's IDs, openable or not; an unreadable one keeps them to itself.
bool SimulatedBoard::readListedIds(
    int index, std::uint16_t *vendorId, std::uint16_t *productId) const
{
    if (index < 0 || index >= static_cast<int>(mSnapshot.size()))
        return false;
    const Device &device = mSnapshot[static_cast<std::size_t>(index)].device;
    if (!device.idsReadable)
        return false;
    *vendorId = device.vendorId;
    *productId = device.productId;
    return true;
}

std::string SimulatedBoard::listedLocation(int index) const
{
    if (index < 0 || index >= static_cast<int>(mSnapshot.size()))
        return kUnknownLocation;
    const std::string &location = mSnapshot[static_cast<std::size_t>(index)].location;
    return location.empty() ? kUnknownLocation : location;
}

const SimulatedBoard::OpenDevice *SimulatedBoard::liveDevice(HidHandle handle) const
{
    const auto found = mHandles.find(handle);
    if (found == mHandles.end())
        return nullptr;
    const OpenDevice &device = found->second;
    if (device.boardInstance >= 0 && (!mPresent || device.generation != mGeneration))
        return nullptr;
    return &device;
}

bool SimulatedBoard::readIds(
    HidHandle handle, std::uint16_t *vendorId, std::uint16_t *productId) const
{
    const OpenDevice *device = liveDevice(handle);
    if (!device || !device->device.idsReadable)
        return false;
    *vendorId = device->device.vendorId;
    *productId = device->device.productId;
    return true;
}

HidClaim SimulatedBoard::claim(HidHandle handle) const
{
    const OpenDevice *device = liveDevice(handle);
    if (!device)
        return HidClaim::Failed;
    return device->boardInstance >= 0 && mHeldElsewhere ? HidClaim::InUse : HidClaim::Claimed;
}

HidWriteResult SimulatedBoard::writeReport(HidHandle handle, const std::uint8_t *report, int length)
{
    if (mHandles.count(handle) == 0)
        return { HidWriteResult::Failed, HidError::InvalidHandle };
    const int boardInstance = mHandles[handle].boardInstance;
    if (boardInstance < 0)
        return { HidWriteResult::Completed, 0 }; // other devices swallow whatever they get

    const int exchange = ++mExchanges;
    mNoAnswerPending = false;
    const auto planned = mPlan.find(exchange);
    const bool hasPlan = planned != mPlan.end();
    const Fault fault = hasPlan ? planned->second : Fault::NoAnswer;
    if (hasPlan && fault == Fault::Unplug)
        setPresent(false);
    if (!liveDevice(handle))
        return { HidWriteResult::Failed, HidError::DeviceNotConnected };
    if (mStallWrites || (hasPlan && fault == Fault::StalledWrite))
        return { HidWriteResult::TimedOut, 0 };

    ReceivedReport received;
    received.boardInstance = boardInstance;
    std::memcpy(received.bytes.data(), report,
        static_cast<std::size_t>(std::min<int>(length, BoardFirmware::kReportLength)));
    if (mRecording)
        mReports.push_back(received);

    if (hasPlan && fault == Fault::ErrorStatus) {
        // Answered but not carried out: the firmware's state stays as it was.
        mRefusedAnswer.fill(0);
        mRefusedAnswer[1] = mPlanStatus[exchange];
        mHasRefusedAnswer = true;
    } else {
        mFirmware.handleReport(received.bytes.data(), length);
        mHasRefusedAnswer = false;
        mNoAnswerPending = hasPlan && fault == Fault::NoAnswer;
    }
    return { HidWriteResult::Completed, 0 };
}

bool SimulatedBoard::readString(HidHandle handle, int index, std::uint8_t *buffer, int length)
{
    ++mStringRequests;
    const OpenDevice *device = liveDevice(handle);
    const bool noAnswer = mNoAnswerPending;
    mNoAnswerPending = false;
    if (!device || device->boardInstance < 0 || index != 244 || mFailStringReads || noAnswer)
        return false;
    const BoardFirmware::Answer &answer = mHasRefusedAnswer ? mRefusedAnswer : mFirmware.answer();
    std::memcpy(buffer, answer.data(),
        static_cast<std::size_t>(std::clamp(length, 0, BoardFirmware::kAnswerLength)));
    return true;
}
