#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// JSON text as the setup file and the firmware export write it and as the reader checks it, where
// QJsonDocument alone is not enough: it sorts an object's keys, keeps the last of two equal keys
// and takes bytes that are not UTF-8 without a word.
namespace JsonText {

// `text` as a JSON string: quoted, with quotes, backslashes and control characters escaped.
QByteArray string(const QString &text);

// An object's members in the order given, each value already JSON text: "{", a member per
// line indented four blanks a level, "}" at `depth` levels, with no newline after it.
using Members = std::vector<std::pair<QString, QByteArray>>;
QByteArray object(const Members &members, int depth);

// Whether `bytes` are UTF-8 throughout.
bool isUtf8(const QByteArray &bytes);

// The first key that comes twice in one object of `json`, which must already parse as JSON.
std::optional<QString> duplicateKey(const QByteArray &json);

// A value as compact JSON, cut to about `limit` characters, for an error message.
QString brief(const QByteArray &compactJson, int limit = 40);

} // namespace JsonText
