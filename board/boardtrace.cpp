#include "boardtrace.h"

#include <utility>

namespace {
std::FILE *traceFile = nullptr; // stdout, looked up at first use
std::string *traceBuffer = nullptr;

void emit(const char *text, std::size_t length)
{
    if (traceBuffer) {
        traceBuffer->append(text, length);
        return;
    }
    std::fwrite(text, 1, length, traceFile ? traceFile : stdout);
}

void emitFormatted(int written, const char *text)
{
    if (written > 0)
        emit(text, static_cast<std::size_t>(written));
}
} // namespace

namespace BoardTrace {

void setFile(std::FILE *file)
{
    traceFile = file;
}

std::string *setBuffer(std::string *buffer)
{
    std::string *previous = traceBuffer;
    traceBuffer = buffer;
    return previous;
}

void line(const char *text)
{
    emit(text, std::char_traits<char>::length(text));
    emit("\n", 1);
}

void hexValue(const char *label, std::uint32_t value)
{
    char text[128];
    emitFormatted(std::snprintf(text, sizeof text, "%s %08x\n", label, value), text);
}

void decValue(const char *label, int value)
{
    char text[128];
    emitFormatted(std::snprintf(text, sizeof text, "%s %d\n", label, value), text);
}

void dump(const std::uint8_t *bytes, int count)
{
    static const char digits[] = "0123456789ABCDEF";
    char text[3 * 32 + 1];
    int length = 0;
    for (int i = 0; i < count && i < 32; ++i) {
        text[length++] = digits[bytes[i] >> 4];
        text[length++] = digits[bytes[i] & 0x0F];
        text[length++] = ' ';
    }
    text[length++] = '\n';
    emit(text, static_cast<std::size_t>(length));
}

} // namespace BoardTrace

BoardTraceCapture::BoardTraceCapture() : mPrevious(BoardTrace::setBuffer(&mText)) { }

BoardTraceCapture::~BoardTraceCapture()
{
    BoardTrace::setBuffer(mPrevious);
}

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
        boardDebugChannel(message);
}
