#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The link's diagnostic trace: standard output by default, or any stdio stream, or a string that
// a test reads back. The link adds no buffering of its own.
namespace BoardTrace {

void setFile(std::FILE *file);
// Appends to *buffer instead of writing to a stream; nullptr goes back to the stream.
// Returns the buffer used before.
std::string *setBuffer(std::string *buffer);

void line(const char *text); // the text and a newline, as puts
void hexValue(const char *label, std::uint32_t value); // "%s %08x\n"
void decValue(const char *label, int value); // "%s %d\n"
void dump(const std::uint8_t *bytes, int count); // "%02X " per byte, then a newline

} // namespace BoardTrace

// Sends the trace into a string for as long as it lives.
class BoardTraceCapture
{
public:
    BoardTraceCapture();
    ~BoardTraceCapture();
    BoardTraceCapture(const BoardTraceCapture &) = delete;
    BoardTraceCapture &operator=(const BoardTraceCapture &) = delete;

    const std::string &text() const { return mText; }
    void clear() { mText.clear(); }

private:
    std::string mText;
    std::string *mPrevious;
};

// Higher-level progress of the link, on Qt's debug channel.
void boardDebug(const char *message);
// The channel itself, defined by the build: qDebug, or standard error where there is no Qt.
void boardDebugChannel(const char *message);
// Sends boardDebug's messages to `sink` instead, so a program can hold them until it knows what
// to say; nullptr goes back to the channel. Returns the sink used before.
using BoardDebugSink = void (*)(const char *message);
BoardDebugSink setBoardDebugSink(BoardDebugSink sink);
