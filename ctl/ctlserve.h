#pragma once

#include <QByteArray>

#include <cstdio>
#include <functional>

// qd7310-ctl's session: requests in the script grammar on one stream, one JSON reply per
// request on another, for a program that drives the bench and decides each command on the last
// answer.
namespace Ctl {

class Session;

constexpr int kProtocol = 1;

// The first line of a session: the program, its version and the protocol, then a newline.
QByteArray greeting(const char *version);

// Hands over one reply line; returns 0, or the exit code to end the session with when the line
// could not be written.
using ReplyWriter = std::function<int(const QByteArray &line)>;

// Reads requests from `in`, one per line (LF or CR LF), until its end or a `quit` line, runs each
// on `session` and writes one reply per request once its command has finished. A blank or
// comment line gets none. A bad line (a NUL byte or over LineReader::kMaxLength bytes among
// them), a request the window's locks refuse and a failed command get a reply with "ok": false,
// "error" and "exit", and the session goes on. A line's settings take effect once no usage error
// or lock refuses it, whatever the board then does. Locks follow Locks::take. Returns 0, or the
// writer's exit code.
int serve(Session &session, std::FILE *in, const ReplyWriter &write);

} // namespace Ctl
