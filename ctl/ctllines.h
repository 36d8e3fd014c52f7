#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <functional>

class QIODevice;

namespace Ctl {

// Reads script and session lines byte by byte, so that every LF ends a line whatever bytes come
// before it (a NUL included) and a reply always names the line it answers. A line is kept up to
// a bound, so an endless line costs no more memory than a long one.
class LineReader
{
public:
    static constexpr qsizetype kMaxLength = 64 * 1024;
    // The next byte (0..255), or -1 at the end of the input or on an error.
    using ByteSource = std::function<int()>;

    explicit LineReader(ByteSource source);
    // Standard input as it is, without the buffering of a QIODevice: a session's reply must not
    // wait for bytes that are not sent yet.
    explicit LineReader(std::FILE *in);
    explicit LineReader(QIODevice *in);

    // The next line without its LF or CR LF; false at the end of the input. A line that cannot be
    // a request as it is (a NUL byte, or more than kMaxLength bytes, of which only the start is
    // kept and the rest is read and dropped) sets `fault` to the reason; otherwise it is empty.
    bool next(QByteArray *line, QString *fault);

private:
    ByteSource mSource;
};

} // namespace Ctl
