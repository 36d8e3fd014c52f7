#include "wineboard.h"

#include "relay.h"

#include <windows.h>

#include <algorithm>

namespace {

// Waits for an overlapped pipe operation, or for the stop event. Returns false on stop or error.
bool finish(HANDLE pipe, OVERLAPPED *overlapped, BOOL started, HANDLE stop, DWORD *bytes)
{
    if (!started && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_PIPE_CONNECTED)
        return false;
    const HANDLE waits[2] = { overlapped->hEvent, stop };
    if (!started && GetLastError() == ERROR_IO_PENDING
        && WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, overlapped, bytes, TRUE);
        return false;
    }
    return started || GetLastError() == ERROR_PIPE_CONNECTED
        || GetOverlappedResult(pipe, overlapped, bytes, FALSE);
}

} // namespace

WineBoard::WineBoard(const std::wstring &instance)
    : mPipeName(L"\\\\.\\pipe\\qd7310sim-" + instance),
      mStop(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    mThread = std::thread([this] { serve(); });
}

WineBoard::~WineBoard()
{
    SetEvent(mStop);
    mThread.join();
    CloseHandle(mStop);
}

void WineBoard::setStallWrites(bool stall)
{
    std::lock_guard<std::mutex> guard(mMutex);
    mStallWrites = stall;
}

void WineBoard::setFailWrites(bool fail)
{
    std::lock_guard<std::mutex> guard(mMutex);
    mFailWrites = fail;
}

void WineBoard::setRefuseStrings(bool refuse)
{
    std::lock_guard<std::mutex> guard(mMutex);
    mRefuseStrings = refuse;
}

std::vector<WineBoard::Event> WineBoard::events() const
{
    std::lock_guard<std::mutex> guard(mMutex);
    return mEvents;
}

void WineBoard::clearEvents()
{
    std::lock_guard<std::mutex> guard(mMutex);
    mEvents.clear();
}

// The driver connects once per message and finds no pipe at all while no instance listens, so
// the next instance listens before the connected one is answered.
void WineBoard::serve()
{
    const auto listen = [this] {
        return CreateNamedPipeW(mPipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
            sizeof(relay_reply), sizeof(relay_request), 0, nullptr);
    };
    const HANDLE connected = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE pipe = listen();
    while (pipe != INVALID_HANDLE_VALUE) {
        OVERLAPPED overlapped {};
        overlapped.hEvent = connected;
        ResetEvent(connected);
        DWORD bytes = 0;
        if (!finish(pipe, &overlapped, ConnectNamedPipe(pipe, &overlapped), mStop, &bytes)) {
            CloseHandle(pipe);
            if (WaitForSingleObject(mStop, 0) == WAIT_OBJECT_0)
                break;
            pipe = listen();
            continue;
        }
        const HANDLE next = listen();
        answer(pipe);
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
        pipe = next;
    }
    CloseHandle(connected);
}

void WineBoard::answer(void *pipeHandle)
{
    const HANDLE pipe = pipeHandle;
    relay_request request {};
    OVERLAPPED overlapped {};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD bytes = 0;
    const bool read
        = finish(pipe, &overlapped, ReadFile(pipe, &request, sizeof request, &bytes, &overlapped),
              mStop, &bytes)
        && bytes == sizeof request;
    relay_reply reply {};
    bool replies = read && request.kind != RELAY_DISCARDED;
    if (read) {
        std::lock_guard<std::mutex> guard(mMutex);
        const unsigned length = std::min<unsigned>(request.length, RELAY_DATA_MAX);
        switch (request.kind) {
        case RELAY_REPORT:
            if (mStallWrites || mFailWrites) {
                reply.status = mStallWrites ? RELAY_STALL : RELAY_REFUSE;
                break;
            }
            {
                std::vector<std::uint8_t> report(1 + length);
                report[0] = static_cast<std::uint8_t>(request.index);
                std::copy(request.data, request.data + length, report.begin() + 1);
                mFirmware.handleReport(report.data(), static_cast<int>(report.size()));
                mEvents.push_back({ Event::Report, int(request.index),
                    std::vector<std::uint8_t>(request.data, request.data + length) });
            }
            break;
        case RELAY_STRING:
            mEvents.push_back({ Event::StringRequest, int(request.index), {} });
            if (mRefuseStrings || request.index != 244) {
                reply.status = RELAY_REFUSE;
                break;
            }
            reply.length = BoardFirmware::kAnswerLength;
            std::copy(mFirmware.answer().begin(), mFirmware.answer().end(), reply.data);
            break;
        case RELAY_DISCARDED:
            mEvents.push_back({ Event::Discarded, 0, {} });
            break;
        default:
            replies = false;
        }
    }
    if (replies) {
        ResetEvent(overlapped.hEvent);
        finish(pipe, &overlapped, WriteFile(pipe, &reply, sizeof reply, &bytes, &overlapped), mStop,
            &bytes);
        FlushFileBuffers(pipe);
    }
    CloseHandle(overlapped.hEvent);
}
