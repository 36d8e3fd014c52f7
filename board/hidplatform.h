#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Opaque number of an open device; only the platform that returned it can interpret it.
using HidHandle = int;
constexpr HidHandle kInvalidHidHandle = -1;

// Error codes as the link's trace prints them. They are the Windows system error numbers, so a
// trace reads the same whichever platform produced it; every backend maps its own errors onto
// these in one function.
namespace HidError {
constexpr std::uint32_t InvalidFunction = 1;
constexpr std::uint32_t AccessDenied = 5;
constexpr std::uint32_t InvalidHandle = 6;
constexpr std::uint32_t NotEnoughMemory = 8;
constexpr std::uint32_t GeneralFailure = 31;
constexpr std::uint32_t NotSupported = 50;
constexpr std::uint32_t InvalidParameter = 87;
constexpr std::uint32_t Busy = 170;
constexpr std::uint32_t IoDevice = 1117;
constexpr std::uint32_t DeviceNotConnected = 1167;
} // namespace HidError

// What location() says of a device whose place the system cannot tell.
inline constexpr const char *kUnknownLocation = "unknown";

struct HidWriteResult
{
    enum Outcome { Completed, TimedOut, Failed };
    Outcome outcome = Failed;
    std::uint32_t errorCode = 0; // a HidError code when outcome is Failed
};

// What came of taking an open device for this program alone.
enum class HidClaim {
    Claimed,
    InUse, // another program holds it
    Failed, // the system refused it for another reason (no permission, gone)
};

// What the board link needs of the operating system's HID layer, and nothing more.
// One instance serves one link, on one thread; no operation may block longer than its stated bound.
class HidPlatform
{
public:
    virtual ~HidPlatform() = default;

    // Takes a fresh snapshot of the HID interfaces present, in the platform's enumeration order,
    // and returns how many it holds. Returns 0 when there are none or the HID layer is unavailable
    // (a later call tries again). Indices 0..count-1 refer to this snapshot until the next call.
    virtual int listDevices() = 0;

    // Drops the snapshot taken by listDevices. Devices opened from it stay open.
    virtual void releaseDeviceList() = 0;

    // Opens interface `index` of the snapshot for report writes and string requests without
    // disturbing the driver that owns it. Returns kInvalidHidHandle when the index is out of range
    // or the device cannot be opened (held exclusively, no permission, gone).
    virtual HidHandle open(int index) = 0;

    // Optional. Reads the USB vendor and product IDs of interface `index` of the snapshot without
    // opening it, so that a device the user may not open can still be named. Returns false,
    // leaving both untouched, when the index is out of range or the IDs cannot be read unopened;
    // the default always does.
    virtual bool readListedIds(int index, std::uint16_t *vendorId, std::uint16_t *productId);

    // Optional. Where interface `index` of the snapshot is attached, in the system's own terms (a
    // USB port path such as "1-4.2", a Windows location or instance path): the same for as long as
    // the device stays in its port, and unique among the devices present. Returns "unknown" when
    // the index is out of range or the system cannot say; the default always does.
    virtual std::string location(int index);

    // Optional. Takes an open device for this program alone, so that no other program can write
    // to it while it stays open; closing gives it back. Called only for the board, never for a
    // keyboard or a mouse. Returns InUse when another program holds the device, Failed when the
    // system refuses it for another reason. The default, for a platform that needs no claim to
    // write, returns Claimed.
    virtual HidClaim claim(HidHandle handle);

    // Reads the USB vendor and product IDs of an open device. Returns false, leaving both
    // untouched, when they cannot be read or the handle is not open.
    virtual bool readIds(HidHandle handle, std::uint16_t *vendorId, std::uint16_t *productId) = 0;

    // Writes one output report; report[0] is the report ID, 0 for an unnumbered report. Waits at
    // most timeoutMs. On TimedOut the transfer has been cancelled and has finished before this
    // returns, so the caller may reuse the buffer at once. A handle that is not open gives Failed
    // with HidError::InvalidHandle.
    virtual HidWriteResult writeReport(
        HidHandle handle, const std::uint8_t *report, int length, int timeoutMs)
        = 0;

    // Fetches the first `length` bytes of string descriptor `index`, the UTF-16LE code units as
    // they came (a zero or surrogate unit is data, not a terminator), into buffer. Bytes the device
    // did not send are left untouched. Returns false when the request failed.
    virtual bool readString(HidHandle handle, int index, std::uint8_t *buffer, int length) = 0;

    // Closes an open device and gives it back to its driver. An invalid handle is ignored.
    virtual void close(HidHandle handle) = 0;
};

inline bool HidPlatform::readListedIds(int, std::uint16_t *, std::uint16_t *)
{
    return false;
}

inline HidClaim HidPlatform::claim(HidHandle)
{
    return HidClaim::Claimed;
}

inline std::string HidPlatform::location(int)
{
    return kUnknownLocation;
}

// The platform layer chosen at build time: libusb on POSIX systems, the native HID calls on
// Windows, or one that finds no device where neither is available.
std::unique_ptr<HidPlatform> createSystemHidPlatform();

// What a user can do about a board that is present but cannot be opened on this system, in a few
// words; defined beside the platform layer chosen at build time.
const char *systemUnopenableAdvice();
