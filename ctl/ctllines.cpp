#include "ctllines.h"

#include "ctltext.h"

#include <QIODevice>

#include <utility>

namespace Ctl {

LineReader::LineReader(ByteSource source) : mSource(std::move(source)) { }

LineReader::LineReader(std::FILE *in)
    : LineReader([in] {
          const int byte = std::getc(in);
          return byte == EOF ? -1 : byte;
      })
{ }

LineReader::LineReader(QIODevice *in)
    : LineReader([in] {
          char byte = 0;
          return in->getChar(&byte) ? int(static_cast<unsigned char>(byte)) : -1;
      })
{ }

bool LineReader::next(QByteArray *line, QString *fault)
{
    line->clear();
    fault->clear();
    qsizetype length = 0; // every byte before the LF, kept or not
    int last = -1;
    int byte = -1;
    while ((byte = mSource()) != -1 && byte != '\n') {
        // One byte more than the bound, so that a CR before the LF does not count.
        if (length++ <= kMaxLength)
            line->append(char(byte));
        last = byte;
    }
    if (byte == -1 && length == 0)
        return false;
    if (last == '\r') {
        --length;
        if (line->size() > length)
            line->chop(1);
    }
    if (length > kMaxLength)
        *fault = QStringLiteral("line too long: over %1 bytes: '%2'")
                     .arg(QString::number(kMaxLength), excerpt(QString::fromUtf8(*line)));
    else if (line->contains('\0'))
        *fault
            = QStringLiteral("a NUL byte in the line: '%1'").arg(excerpt(QString::fromUtf8(*line)));
    return true;
}

} // namespace Ctl
