#pragma once

#include <QString>

// How qd7310-ctl writes text that came from outside (a value the board or the system gave, a
// word of the user's) so that one result or one message stays one line.
namespace Ctl {

// The text with every control character escaped as C writes it: \t \n \r, or \xNN.
QString escapeControls(const QString &text);
// The text as a field's value: alone when it holds no blank, double quote, backslash or control
// character; otherwise in double quotes, with \" \\ and the escapes above.
QString quoteValue(const QString &text);
// At most about 80 characters of a user's word or line, escaped, for an error that quotes it.
QString excerpt(const QString &text);

} // namespace Ctl
