#include "simulatedboard.h"

#include "boardidentity.h"

#include <algorithm>
#include <cstring>

// The platform face of a SimulatedBoard. It holds the board through a shared cell that the board
// clears when it dies, so a platform that outlives its board finds an empty bus.
class SimulatedHidPlatform : public HidPlatform
{
public:
    explicit SimulatedHidPlatform(std::shared_ptr<SimulatedBoard *> board)
        : mBoard(std::move(board))
    { }
    ~SimulatedHidPlatform() override
    {
        for (HidHandle handle : mOpened)
            close(handle);
    }

    int listDevices() override { return *mBoard ? (*mBoard)->listDevices() : 0; }
    void releaseDeviceList() override
    {
        if (*mBoard)
            (*mBoard)->mSnapshot.clear();
    }
    HidHandle open(int index) override
    {
        const HidHandle handle = *mBoard ? (*mBoard)->open(index) : kInvalidHidHandle;
        if (handle != kInvalidHidHandle)
            mOpened.push_back(handle);
        return handle;
    }
    bool readListedIds(int index, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        return *mBoard && (*mBoard)->readListedIds(index, vendorId, productId);
    }
    bool readIds(HidHandle handle, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        return *mBoard && (*mBoard)->readIds(handle, vendorId, productId);
    }
    HidWriteResult writeReport(
        HidHandle handle, const std::uint8_t *report, int length, int) override
    {
        if (*mBoard)
            return (*mBoard)->writeReport(handle, report, length);
        return { HidWriteResult::Failed, HidError::InvalidHandle };
    }
    bool readString(HidHandle handle, int index, std::uint8_t *buffer, int length) override
    {
        return *mBoard && (*mBoard)->readString(handle, index, buffer, length);
    }
    void close(HidHandle handle) override
    {
        const auto opened = std::find(mOpened.begin(), mOpened.end(), handle);
        if (opened == mOpened.end())
            return;
        mOpened.erase(opened);
        if (*mBoard)
            (*mBoard)->close(handle);
    }

private:
    std::shared_ptr<SimulatedBoard *> mBoard;
    std::vector<HidHandle> mOpened;
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
    return std::make_unique<SimulatedHidPlatform>(mSelf);
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
    for (const Device &device : mBefore)
        mSnapshot.push_back({ device, -1 });
    if (mPresent) {
        for (int instance = 0; instance < std::min(mBoardCount, 2); ++instance)
            mSnapshot.push_back({ mBoard, instance });
    }
    for (const Device &device : mAfter)
        mSnapshot.push_back({ device, -1 });
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
