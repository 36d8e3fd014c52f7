#include "jsontext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QStringDecoder>

#include <vector>

namespace JsonText {

QByteArray string(const QString &text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            out += '\\' + QByteArray(1, c);
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (byte < 0x20 || byte == 0x7F)
            out += "\\u" + QByteArray::number(byte, 16).rightJustified(4, '0');
        else
            out += c;
    }
    return out + '"';
}

QByteArray object(const Members &members, int depth)
{
    const QByteArray inner(4 * (depth + 1), ' ');
    QByteArray text = "{\n";
    for (std::size_t i = 0; i < members.size(); ++i)
        text += inner + string(members[i].first) + ": " + members[i].second
            + (i + 1 < members.size() ? ",\n" : "\n");
    return text + QByteArray(4 * depth, ' ') + '}';
}

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);
    Q_UNUSED(decoded);
    return !decoder.hasError();
}

std::optional<QString> duplicateKey(const QByteArray &json)
{
    // A walk over text that is known to be JSON needs only the brackets, the separators and
    // where each string ends; a key's escapes are undone by the parser itself.
    struct Level
    {
        bool object;
        bool expectingKey;
        QSet<QString> keys;
    };
    std::vector<Level> levels;
    const qsizetype size = json.size();
    for (qsizetype i = 0; i < size; ++i) {
        switch (json[i]) {
        case '{':
        case '[':
            levels.push_back({ json[i] == '{', json[i] == '{', {} });
            break;
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            break;
        case ',':
            if (!levels.empty())
                levels.back().expectingKey = levels.back().object;
            break;
        case ':':
            if (!levels.empty())
                levels.back().expectingKey = false;
            break;
        case '"': {
            const qsizetype start = i;
            for (++i; i < size && json[i] != '"'; ++i)
                if (json[i] == '\\')
                    ++i;
            if (levels.empty() || !levels.back().expectingKey)
                break;
            const QByteArray token = json.mid(start, i - start + 1);
            const QString key = QJsonDocument::fromJson('[' + token + ']').array().at(0).toString();
            if (levels.back().keys.contains(key))
                return key;
            levels.back().keys.insert(key);
            break;
        }
        default:
            break;
        }
    }
    return std::nullopt;
}

QString brief(const QByteArray &compactJson, int limit)
{
    const QString text = QString::fromUtf8(compactJson);
    return text.size() <= limit ? text : text.left(limit) + QStringLiteral("...");
}

} // namespace JsonText
