#include "ctltext.h"

#include <QHash>

#include <algorithm>

namespace Ctl {

namespace {

constexpr int kExcerptLength = 80;

// The characters that have an escape of their own; any other control character is \xNN.
const QHash<QChar, QLatin1String> &namedEscapes()
{
    static const QHash<QChar, QLatin1String> escapes { { '"', QLatin1String("\\\"") },
        { '\\', QLatin1String("\\\\") }, { '\t', QLatin1String("\\t") },
        { '\n', QLatin1String("\\n") }, { '\r', QLatin1String("\\r") } };
    return escapes;
}

bool isControl(QChar c)
{
    return c < QLatin1Char(' ') || c == QChar(0x7F);
}

// Escapes control characters, and with `quotes` the double quote and the backslash too.
QString escaped(const QString &text, bool quotes)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if ((quotes || isControl(c)) && namedEscapes().contains(c))
            result += namedEscapes().value(c);
        else if (isControl(c))
            result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

} // namespace

QString escapeControls(const QString &text)
{
    return escaped(text, false);
}

QString quoteValue(const QString &text)
{
    if (!text.isEmpty() && std::none_of(text.begin(), text.end(), [](QChar c) {
            return c == QLatin1Char(' ') || isControl(c) || namedEscapes().contains(c);
        }))
        return text;
    return QLatin1Char('"') + escaped(text, true) + QLatin1Char('"');
}

QString excerpt(const QString &text)
{
    if (text.size() <= kExcerptLength)
        return escapeControls(text);
    return escapeControls(text.left(kExcerptLength)) + QLatin1String("...");
}

} // namespace Ctl
