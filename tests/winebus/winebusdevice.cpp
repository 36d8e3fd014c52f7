#include "winebusdevice.h"

#include <windows.h>
#include <newdev.h>
#include <setupapi.h>

#include <cstdio>

namespace {

constexpr GUID kNoClass {};
constexpr wchar_t kHardwareIds[] = L"root\\qd7310sim\0"; // a multi-string

std::wstring instanceId(const std::wstring &instance)
{
    return L"ROOT\\QD7310SIM\\" + instance;
}

std::string failure(const char *what)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s failed with error %lu", what, GetLastError());
    return text;
}

// Holds a device information set and destroys it when done.
struct DeviceSet
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    ~DeviceSet()
    {
        if (set != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(set);
    }
};

} // namespace

std::string plugWineBoard(const std::wstring &infPath, const std::wstring &instance)
{
    DeviceSet devices;
    if (devices.set == INVALID_HANDLE_VALUE)
        return failure("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device {};
    device.cbSize = sizeof device;
    const std::wstring id = instanceId(instance);
    if (!SetupDiCreateDeviceInfoW(
            devices.set, id.c_str(), &kNoClass, nullptr, nullptr, 0, &device)) {
        if (GetLastError() == ERROR_DEVINST_ALREADY_EXISTS)
            return {};
        return failure("SetupDiCreateDeviceInfoW");
    }
    if (!SetupDiSetDeviceRegistryPropertyW(devices.set, &device, SPDRP_HARDWAREID,
            reinterpret_cast<const BYTE *>(kHardwareIds), sizeof kHardwareIds))
        return failure("SetupDiSetDeviceRegistryPropertyW");
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, devices.set, &device))
        return failure("DIF_REGISTERDEVICE");
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(
            nullptr, L"root\\qd7310sim", infPath.c_str(), INSTALLFLAG_FORCE, &reboot))
        return failure("UpdateDriverForPlugAndPlayDevicesW");
    return {};
}

std::string unplugWineBoard(const std::wstring &instance)
{
    DeviceSet devices;
    if (devices.set == INVALID_HANDLE_VALUE)
        return failure("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device {};
    device.cbSize = sizeof device;
    if (!SetupDiOpenDeviceInfoW(devices.set, instanceId(instance).c_str(), nullptr, 0, &device))
        return {};
    if (!SetupDiCallClassInstaller(DIF_REMOVE, devices.set, &device))
        return failure("DIF_REMOVE");
    return {};
}

std::wstring wineBoardInfBesideProgram()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring inf(path, length);
    inf.resize(inf.find_last_of(L"\\/") + 1);
    return inf + L"qd7310sim.inf";
}
