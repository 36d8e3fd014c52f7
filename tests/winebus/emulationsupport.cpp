#include "emulationsupport.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

namespace {

// The layout of SystemHandleInformation (class 16), which winternl.h does not give.
struct HandleEntry
{
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    void *object;
    ACCESS_MASK access;
};

struct HandleTable
{
    ULONG count;
    HandleEntry entries[1];
};

constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

} // namespace

int processHandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0)
        return int(count);
    std::vector<char> buffer(1 << 16);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16),
                buffer.data(), ULONG(buffer.size()), nullptr))
        == kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    const auto *table = reinterpret_cast<const HandleTable *>(buffer.data());
    int own = 0;
    for (ULONG i = 0; i < table->count; ++i)
        own += table->entries[i].processId == GetCurrentProcessId();
    return own;
}
