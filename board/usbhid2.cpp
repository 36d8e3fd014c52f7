#include "usbhid2.h"

#include "boardcommands.h"
#include "boardidentity.h"
#include "boardtrace.h"

#include <cstdio>
#include <utility>

namespace {

bool isBoard(std::uint16_t vendorId, std::uint16_t productId)
{
    return vendorId == kBoardVendorId && productId == kBoardProductId;
}

// What a user can do about a board that is present but cannot be used.
std::string adviceFor(HidClaim claim)
{
    return claim == HidClaim::InUse ? "in use by another program: close that program first"
                                    : systemUnopenableAdvice();
}

// Such a board shows only as "not connected"; this says why.
std::string describeUnusableBoard(HidClaim claim)
{
    char ids[32];
    std::snprintf(ids, sizeof ids, "0x%04x:0x%04x", kBoardVendorId, kBoardProductId);
    return std::string("QD7310 board ") + ids + " is "
        + (claim == HidClaim::InUse ? "" : "present but cannot be opened: ") + adviceFor(claim);
}

} // namespace

const char *boardLocationError(const std::string &location)
{
    // An empty location would quietly mean "any board", the opposite of what was asked.
    return location.empty() ? "--board: give a location, as qd7310-ctl list shows it" : nullptr;
}

USBHid2::USBHid2() : USBHid2(createSystemHidPlatform()) { }

USBHid2::USBHid2(std::unique_ptr<HidPlatform> platform, int writeTimeoutMs)
    : mPlatform(std::move(platform)), mWriteTimeoutMs(writeTimeoutMs)
{ }

USBHid2::~USBHid2()
{
    closeDevice();
}

void USBHid2::closeDevice()
{
    if (mDev_handle != kInvalidHidHandle) {
        mPlatform->close(mDev_handle);
        mDev_handle = kInvalidHidHandle;
    }
    mDev_location = kUnknownLocation;
}

int USBHid2::usb_hid_init()
{
    BoardTrace::line("usb_hid_init");
    closeDevice();
    mConn_status = 0;
    mUnopenableMessage.clear();

    const int count = mPlatform->listDevices();
    for (int index = 0; index < count; ++index) {
        if (!mBoardLocation.empty() && mPlatform->location(index) != mBoardLocation)
            continue;
        const HidHandle handle = mPlatform->open(index);
        if (handle == kInvalidHidHandle) {
            // Held exclusively by its driver, or not ours to open: skipped without a trace line.
            if (mUnopenableMessage.empty() && isBoardAt(index))
                mUnopenableMessage = describeUnusableBoard(HidClaim::Failed);
            continue;
        }

        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        const bool idsRead = mPlatform->readIds(handle, &vendorId, &productId);
        BoardTrace::line("Found USB device");
        if (idsRead) {
            BoardTrace::hexValue("VID = 0x", vendorId);
            BoardTrace::hexValue("PID = 0x", productId);
        }
        if (idsRead && isBoard(vendorId, productId)) {
            const HidClaim claim = mPlatform->claim(handle);
            if (claim == HidClaim::Claimed) {
                mDev_handle = handle;
                mDev_location = mPlatform->location(index);
                mConn_status = 1;
                break;
            }
            if (mUnopenableMessage.empty())
                mUnopenableMessage = describeUnusableBoard(claim);
        }
        mPlatform->close(handle);
    }
    mPlatform->releaseDeviceList();
    if (mConn_status)
        mUnopenableMessage.clear();
    // The search repeats every two seconds and the advice does not change, so it is said once.
    if (!mUnopenableMessage.empty() && mUnopenableMessage != mReportedMessage) {
        mReportedMessage = mUnopenableMessage;
        boardDebug(mUnopenableMessage.c_str());
    }
    return mConn_status;
}

bool USBHid2::isBoardAt(int index)
{
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    return mPlatform->readListedIds(index, &vendorId, &productId) && isBoard(vendorId, productId);
}

std::vector<std::string> USBHid2::boardLocations()
{
    std::vector<std::string> locations;
    const int count = mPlatform->listDevices();
    for (int index = 0; index < count; ++index)
        if (isBoardAt(index))
            locations.push_back(mPlatform->location(index));
    mPlatform->releaseDeviceList();
    return locations;
}

std::vector<BoardListing> USBHid2::listBoards()
{
    std::vector<BoardListing> boards;
    HidHandle held = mDev_handle;
    bool holdsBoard = held != kInvalidHidHandle && mDev_location != kUnknownLocation;
    const int count = mPlatform->listDevices();
    for (int index = 0; index < count; ++index) {
        BoardListing board;
        board.location = mPlatform->location(index);
        if (!mBoardLocation.empty() && board.location != mBoardLocation)
            continue;
        if (holdsBoard && board.location == mDev_location) {
            // The board this link holds is probed through its own handle, never opened again.
            board.openable = true;
            board.answers = spi_read(kProbeRegister) != -1;
            if (board.answers) {
                boards.push_back(board);
                continue;
            }
            // A board plugged in again in the same port no longer hears the old handle: the
            // link lets it go and probes it as any other, and the next search takes it again.
            closeDevice();
            mConn_status = 0;
            held = kInvalidHidHandle;
            holdsBoard = false;
            board.openable = false;
        }
        const HidHandle handle = mPlatform->open(index);
        if (handle == kInvalidHidHandle) {
            if (isBoardAt(index)) {
                board.advice = adviceFor(HidClaim::Failed);
                boards.push_back(board);
            }
            continue;
        }
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        if (mPlatform->readIds(handle, &vendorId, &productId) && isBoard(vendorId, productId)) {
            const HidClaim claim = mPlatform->claim(handle);
            if (claim == HidClaim::Claimed) {
                board.openable = true;
                // The probe goes through the ordinary exchange, so it is traced like any other.
                mDev_handle = handle;
                board.answers = spi_read(kProbeRegister) != -1;
                mDev_handle = held;
            } else {
                // Another program's board is never written to.
                board.advice = adviceFor(claim);
            }
            boards.push_back(board);
        }
        mPlatform->close(handle);
    }
    mPlatform->releaseDeviceList();
    return boards;
}

int USBHid2::write_report()
{
    HidWriteResult result;
    if (mDev_handle == kInvalidHidHandle)
        result.errorCode = HidError::InvalidHandle;
    else
        result = mPlatform->writeReport(
            mDev_handle, mReport_buffer.data(), kReportLength, mWriteTimeoutMs);

    switch (result.outcome) {
    case HidWriteResult::Completed:
        return 0;
    case HidWriteResult::TimedOut:
        BoardTrace::line("write timed out");
        return -1;
    case HidWriteResult::Failed:
        break;
    }
    BoardTrace::hexValue("write error = ", result.errorCode);
    return -1;
}

USBHid2::Answer USBHid2::exchange(const BoardCommandLayout &command, std::uint8_t param1,
    std::uint8_t param2, std::uint8_t param3, std::initializer_list<BoardTraceValue> arguments,
    int *status)
{
    BoardTrace::line(command.name);
    for (const BoardTraceValue &argument : arguments) {
        if (argument.hex)
            BoardTrace::hexValue(argument.label, argument.value);
        else
            BoardTrace::decValue(argument.label, static_cast<int>(argument.value));
    }

    // Bytes 9 to 16 are never written, so they stay zero from construction on.
    mReport_buffer[0] = BoardCommand::kReportId;
    mReport_buffer[1] = BoardCommand::kBlockLength;
    mReport_buffer[2] = 0x00;
    mReport_buffer[3] = command.code;
    mReport_buffer[4] = BoardCommand::kMarker;
    mReport_buffer[5] = param1;
    mReport_buffer[6] = param2;
    mReport_buffer[7] = param3;
    mReport_buffer[8] = command.subFunction;

    if (command.reportDump == ReportDump::BeforeWrite)
        BoardTrace::dump(mReport_buffer.data(), command.dumpLength);
    // A failed write does not end the exchange: the answer is still read back and traced. But
    // string 244 then still holds the previous command's answer, so it cannot count as this one's.
    const bool sent = write_report() == 0;
    if (command.reportDump == ReportDump::AfterWrite)
        BoardTrace::dump(mReport_buffer.data(), command.dumpLength);

    // The board answers every command in string 244, so the answer overwrites the command in the
    // same buffer; byte 8 onward keep the command's values.
    const bool answered = mDev_handle != kInvalidHidHandle
        && mPlatform->readString(
            mDev_handle, kAnswerStringIndex, mReport_buffer.data(), kAnswerLength);
    BoardTrace::dump(mReport_buffer.data(), command.dumpLength);

    if (!sent)
        ++mReportsNotSent;
    if (!answered || !sent)
        return Answer::Missing;
    if (mReport_buffer[1] != 0) {
        if (status)
            *status = mReport_buffer[1];
        return Answer::Refused;
    }
    return Answer::Accepted;
}

int USBHid2::conn_status()
{
    boardDebug("USBHid2::conn_status");
    if (spi_read(kProbeRegister) != -1)
        return mConn_status;
    boardDebug("mConn_status=0");
    mConn_status = 0;
    return 0;
}
