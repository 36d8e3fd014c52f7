#include "hidplatform.h"

#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <cwctype>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

// Windows' own error numbers are what the trace prints, so the mapping keeps them as they are.
std::uint32_t mapError(DWORD error)
{
    return static_cast<std::uint32_t>(error);
}

// Programs of the tool never share a board: each claims the board it uses with a named mutex,
// keyed by the device's path, and does not use a board whose mutex another program holds. A
// share mode of 0 would not do: Wine does not enforce it on a HID device. The mutex belongs to
// the thread that claimed the device, which is the link's one thread. Returns null when held.
HANDLE lockDevice(const std::wstring &path)
{
    std::wstring name = L"Global\\qd7310-device-";
    for (const wchar_t c : path)
        name += c == L'\\' ? L'/' : static_cast<wchar_t>(std::towlower(c));
    const HANDLE lock = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!lock)
        return nullptr; // made by a program this one may not even open it from: held
    const DWORD waited = WaitForSingleObject(lock, 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        return lock;
    CloseHandle(lock);
    return nullptr;
}

void unlockDevice(HANDLE lock)
{
    ReleaseMutex(lock);
    CloseHandle(lock);
}

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string converted(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
    converted.pop_back(); // the terminator
    return converted;
}

class WindowsHidPlatform : public HidPlatform
{
public:
    WindowsHidPlatform()
        // One manual-reset event serves every write of the link's life.
        : mEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        HidD_GetHidGuid(&mHidGuid);
    }

    ~WindowsHidPlatform() override
    {
        while (!mOpen.empty())
            close(mOpen.begin()->first);
        releaseDeviceList();
        if (mEvent)
            CloseHandle(mEvent);
    }

    int listDevices() override
    {
        releaseDeviceList();
        mDevices = SetupDiGetClassDevsW(
            &mHidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (mDevices == INVALID_HANDLE_VALUE)
            return 0;
        SP_DEVICE_INTERFACE_DATA interfaceData {};
        interfaceData.cbSize = sizeof interfaceData;
        DWORD count = 0;
        while (SetupDiEnumDeviceInterfaces(mDevices, nullptr, &mHidGuid, count, &interfaceData))
            ++count;
        return static_cast<int>(count);
    }

    // The set is released after every search, whether it found the board or not.
    void releaseDeviceList() override
    {
        if (mDevices != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(mDevices);
        mDevices = INVALID_HANDLE_VALUE;
    }

    HidHandle open(int index) override
    {
        const std::wstring path = devicePath(index);
        if (path.empty())
            return kInvalidHidHandle;
        const HANDLE device = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
            nullptr);
        if (device == INVALID_HANDLE_VALUE)
            return kInvalidHidHandle;
        const HidHandle handle = mNextHandle++;
        mOpen[handle] = { device, nullptr, path };
        return handle;
    }

    HidClaim claim(HidHandle handle) override
    {
        const auto found = mOpen.find(handle);
        if (found == mOpen.end())
            return HidClaim::Failed;
        if (!found->second.lock)
            found->second.lock = lockDevice(found->second.path);
        return found->second.lock ? HidClaim::Claimed : HidClaim::InUse;
    }

    // A handle without access rights is enough for the attributes, and Windows grants it even
    // for a device another program holds exclusively.
    bool readListedIds(int index, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        const std::wstring path = devicePath(index);
        if (path.empty())
            return false;
        const HANDLE device = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE)
            return false;
        HIDD_ATTRIBUTES attributes {};
        attributes.Size = sizeof attributes;
        const bool read = HidD_GetAttributes(device, &attributes) != FALSE;
        CloseHandle(device);
        if (!read)
            return false;
        *vendorId = attributes.VendorID;
        *productId = attributes.ProductID;
        return true;
    }

    // Windows' own location text ("Port_#0002.Hub_#0003") where the driver stack sets one, else
    // the device instance path, which for a device without a serial number is built from its port.
    std::string location(int index) override
    {
        SP_DEVINFO_DATA device {};
        device.cbSize = sizeof device;
        if (devicePath(index, &device).empty())
            return kUnknownLocation;
        wchar_t text[512] {};
        const DWORD room = sizeof text - sizeof text[0]; // room for the terminator
        if (SetupDiGetDeviceRegistryPropertyW(mDevices, &device, SPDRP_LOCATION_INFORMATION,
                nullptr, reinterpret_cast<BYTE *>(text), room, nullptr)
            && text[0])
            return utf8(text);
        text[0] = 0;
        if (SetupDiGetDeviceInstanceIdW(
                mDevices, &device, text, DWORD(std::size(text) - 1), nullptr)
            && text[0])
            return utf8(text);
        return kUnknownLocation;
    }

    bool readIds(HidHandle handle, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        const HANDLE device = find(handle);
        HIDD_ATTRIBUTES attributes {};
        attributes.Size = sizeof attributes;
        if (device == INVALID_HANDLE_VALUE || !HidD_GetAttributes(device, &attributes))
            return false;
        *vendorId = attributes.VendorID;
        *productId = attributes.ProductID;
        return true;
    }

    HidWriteResult writeReport(
        HidHandle handle, const std::uint8_t *report, int length, int timeoutMs) override
    {
        const HANDLE device = find(handle);
        if (device == INVALID_HANDLE_VALUE)
            return { HidWriteResult::Failed, HidError::InvalidHandle };
        if (!mEvent)
            return { HidWriteResult::Failed, HidError::NotEnoughMemory };
        ResetEvent(mEvent);
        mOverlapped = OVERLAPPED {};
        mOverlapped.hEvent = mEvent;
        DWORD written = 0;
        if (WriteFile(device, report, static_cast<DWORD>(length), &written, &mOverlapped))
            return { HidWriteResult::Completed, 0 };
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
            return { HidWriteResult::Failed, mapError(error) };
        if (WaitForSingleObject(mEvent, static_cast<DWORD>(timeoutMs)) != WAIT_TIMEOUT) {
            // Ended within the time-out, but a device may end a write with an error.
            if (!GetOverlappedResult(device, &mOverlapped, &written, FALSE))
                return { HidWriteResult::Failed, mapError(GetLastError()) };
            return { HidWriteResult::Completed, 0 };
        }
        // The driver may still be reading the caller's buffer: wait for the cancellation to land
        // before the buffer and the OVERLAPPED record are used again.
        CancelIo(device);
        GetOverlappedResult(device, &mOverlapped, &written, TRUE);
        return { HidWriteResult::TimedOut, 0 };
    }

    bool readString(HidHandle handle, int index, std::uint8_t *buffer, int length) override
    {
        const HANDLE device = find(handle);
        return device != INVALID_HANDLE_VALUE && length >= 0
            && HidD_GetIndexedString(
                device, static_cast<ULONG>(index), buffer, static_cast<ULONG>(length));
    }

    void close(HidHandle handle) override
    {
        const auto found = mOpen.find(handle);
        if (found == mOpen.end())
            return;
        CloseHandle(found->second.device);
        if (found->second.lock)
            unlockDevice(found->second.lock);
        mOpen.erase(found);
    }

private:
    // The device path of interface `index` of the snapshot, or an empty string. A non-null
    // `device` receives the record of the device behind the interface.
    std::wstring devicePath(int index, SP_DEVINFO_DATA *device = nullptr)
    {
        if (mDevices == INVALID_HANDLE_VALUE || index < 0)
            return {};
        SP_DEVICE_INTERFACE_DATA interfaceData {};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(
                mDevices, nullptr, &mHidGuid, static_cast<DWORD>(index), &interfaceData))
            return {};
        // The first call fails by nature and only reports the size the detail record needs.
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(mDevices, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            return {};
        std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD));
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(storage.data());
        detail->cbSize
            = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W); // the fixed part, not the buffer
        if (!SetupDiGetDeviceInterfaceDetailW(
                mDevices, &interfaceData, detail, required, nullptr, device))
            return {};
        return detail->DevicePath;
    }

    HANDLE find(HidHandle handle) const
    {
        const auto found = mOpen.find(handle);
        return found == mOpen.end() ? INVALID_HANDLE_VALUE : found->second.device;
    }

    GUID mHidGuid {};
    HDEVINFO mDevices = INVALID_HANDLE_VALUE;
    HANDLE mEvent;
    OVERLAPPED mOverlapped {};
    struct OpenDevice
    {
        HANDLE device;
        HANDLE lock; // see lockDevice; null until claimed
        std::wstring path;
    };
    std::map<HidHandle, OpenDevice> mOpen;
    HidHandle mNextHandle = 1;
};

} // namespace

std::unique_ptr<HidPlatform> createSystemHidPlatform()
{
    return std::make_unique<WindowsHidPlatform>();
}

const char *systemUnopenableAdvice()
{
    return "close the program that holds it, then replug the board";
}
