#include "setupfile.h"

#include "jsontext.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStringList>

#include <cmath>

namespace SetupFile {

namespace {

// A setup is a few hundred bytes; anything far larger is not one, and is not read whole.
constexpr qint64 kMaxBytes = 1 << 20;

QString settingNames()
{
    QStringList names;
    for (const ChipSettings::Setting &s : ChipSettings::settings)
        names.append(QLatin1String(s.name));
    return names.join(QLatin1String(", "));
}

QString shown(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return JsonText::brief(array.mid(1, array.size() - 2));
}

// JSON knows only numbers: 5.0 and 5e0 are the integer 5, as any JSON writer may put it; 5.5 is
// no position.
bool isInteger(const QJsonValue &value, int *integer)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || std::fabs(number) > 1e9)
        return false;
    *integer = int(number);
    return true;
}

QString checkHeader(const QJsonObject &object)
{
    const QJsonValue format = object.value(QLatin1String("format"));
    if (format.isUndefined())
        return QStringLiteral("no \"format\": not a QD7310 setup");
    if (format.toString() != QLatin1String(kFormat))
        return QStringLiteral("\"format\" is %1, not \"%2\"")
            .arg(shown(format), QLatin1String(kFormat));
    const QJsonValue version = object.value(QLatin1String("version"));
    int number = 0;
    if (version.isUndefined())
        return QStringLiteral("no \"version\"");
    if (!isInteger(version, &number) || number != kVersion)
        return QStringLiteral("\"version\" is %1; this program reads version %2")
            .arg(shown(version), QString::number(kVersion));
    return QString();
}

QString readSettings(const QJsonObject &object, ChipSettings::Positions *positions)
{
    const QJsonValue settings = object.value(QLatin1String("settings"));
    if (settings.isUndefined())
        return QStringLiteral("no \"settings\"");
    if (!settings.isObject())
        return QStringLiteral("\"settings\" is %1, not an object").arg(shown(settings));
    ChipSettings::Positions read = ChipSettings::startPositions();
    const QJsonObject values = settings.toObject();
    for (auto it = values.begin(); it != values.end(); ++it) {
        int index = 0;
        while (index < ChipSettings::kCount
            && it.key() != QLatin1String(ChipSettings::settings[std::size_t(index)].name))
            ++index;
        if (index == ChipSettings::kCount)
            return QStringLiteral("%1 is not a setting; the settings are %2")
                .arg(JsonText::brief(JsonText::string(it.key())), settingNames());
        const ChipSettings::Setting &s = ChipSettings::settings[std::size_t(index)];
        int position = 0;
        if (!isInteger(it.value(), &position) || position < s.minimum || position > s.maximum)
            return QStringLiteral("\"%1\": %2 is not a position in %3..%4")
                .arg(QLatin1String(s.name), shown(it.value()), QString::number(s.minimum),
                    QString::number(s.maximum));
        read[std::size_t(index)] = position;
    }
    *positions = read;
    return QString();
}

} // namespace

QString parse(const QByteArray &bytes, ChipSettings::Positions *positions)
{
    // A byte order mark is what some editors put before UTF-8; it is not part of the JSON.
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    if (text.trimmed().isEmpty())
        return QStringLiteral("is empty");
    if (!JsonText::isUtf8(text))
        return QStringLiteral("is not UTF-8 text");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("is not JSON: %1 at byte %2")
            .arg(error.errorString(), QString::number(error.offset));
    if (!document.isObject())
        return QStringLiteral("is not one JSON object");
    // The parser keeps the last of two equal keys; a file that says two things says neither.
    if (const std::optional<QString> key = JsonText::duplicateKey(text))
        return QStringLiteral("the key %1 comes twice in one object")
            .arg(JsonText::brief(JsonText::string(*key)));
    const QJsonObject object = document.object();
    const QString header = checkHeader(object);
    return header.isEmpty() ? readSettings(object, positions) : header;
}

QString read(const QString &path, ChipSettings::Positions *positions)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
    const QByteArray bytes = file.read(kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
    if (bytes.size() > kMaxBytes)
        return QStringLiteral("%1: is too large for a setup (over 1 MiB)").arg(path);
    const QString error = parse(bytes, positions);
    return error.isEmpty() ? error : path + QLatin1String(": ") + error;
}

QByteArray objectText(const ChipSettings::Positions &positions, int depth)
{
    JsonText::Members settings;
    JsonText::Members labels;
    for (int i = 0; i < ChipSettings::kCount; ++i) {
        const QString name = QLatin1String(ChipSettings::settings[std::size_t(i)].name);
        settings.emplace_back(name, QByteArray::number(positions[std::size_t(i)]));
        labels.emplace_back(
            name, JsonText::string(ChipSettings::labelText(i, positions[std::size_t(i)])));
    }
    JsonText::Members totals;
    const auto times = ChipSettings::selectedTimes(positions);
    for (int pulses = 1; pulses <= ChipSettings::kPulseCount; ++pulses)
        totals.emplace_back(QStringLiteral("train%1").arg(pulses),
            JsonText::string(ChipSettings::totalText(ChipSettings::trainTotal(times, pulses))));
    ChipSettings::RegisterImage chipRegs {};
    ChipSettings::fillImage(chipRegs, positions);
    JsonText::Members registers;
    for (int reg = 1; reg <= 15; ++reg)
        registers.emplace_back(QString::number(reg), QByteArray::number(chipRegs[reg - 1]));

    const JsonText::Members members = {
        { QStringLiteral("format"), JsonText::string(QLatin1String(kFormat)) },
        { QStringLiteral("version"), QByteArray::number(kVersion) },
        { QStringLiteral("settings"), JsonText::object(settings, depth + 1) },
        { QStringLiteral("labels"), JsonText::object(labels, depth + 1) },
        { QStringLiteral("totals"), JsonText::object(totals, depth + 1) },
        { QStringLiteral("registers"), JsonText::object(registers, depth + 1) },
    };
    return JsonText::object(members, depth);
}

QJsonObject toJson(const ChipSettings::Positions &positions)
{
    return QJsonDocument::fromJson(objectText(positions, 0)).object();
}

QByteArray serialize(const ChipSettings::Positions &positions)
{
    return objectText(positions, 0) + '\n';
}

QString write(const QString &path, const ChipSettings::Positions &positions)
{
    // The old file is replaced only by a whole new one: a failed write or commit leaves it alone.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("%1: cannot save: %2").arg(path, file.errorString());
    const QByteArray bytes = serialize(positions);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("%1: cannot save: %2").arg(path, file.errorString());
    return QString();
}

} // namespace SetupFile
