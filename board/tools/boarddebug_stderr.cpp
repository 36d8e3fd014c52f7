#include "boardtrace.h"

#include <cstdio>
#include <utility>

// The debug channel of builds without Qt, such as the cross-compiled check program.
namespace {
BoardDebugSink debugSink = nullptr;
}

BoardDebugSink setBoardDebugSink(BoardDebugSink sink)
{
    return std::exchange(debugSink, sink);
}

void boardDebug(const char *message)
{
    if (debugSink)
        debugSink(message);
    else
        std::fprintf(stderr, "%s\n", message);
}
