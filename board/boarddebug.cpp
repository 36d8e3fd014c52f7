#include "boardtrace.h"

#include <QDebug>

#include <utility>

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
        qDebug("%s", message);
}
