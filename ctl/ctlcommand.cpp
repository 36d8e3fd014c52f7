#include "ctlcommand.h"

#include <QRegularExpression>

#include <algorithm>

namespace Ctl {

namespace {

constexpr Argument kRegister { "REG", 0, 31, {} };
constexpr Argument kByteRegister { "REG", 0, 255, {} };
constexpr Argument kData { "DATA", 0, 255, {} };
constexpr Argument kDevice { "DEV", 0, 127, {} };
constexpr Argument kChannel { "CHANNEL", 0, 7, {} };
constexpr Argument kAdc { "ADC", 0, 31, {} };
constexpr Argument kGroup { "GROUP", 0, 7, {} };
constexpr Argument kPin { "PIN", 0, 7, {} };
constexpr Argument kBit { "VALUE", 0, 1, {} };
constexpr Argument kOnOff { "on|off", 0, 1, { "off", "on" } };
constexpr Argument kTrain { "PULSES", 1, 3, {} };
constexpr Argument kMode { "MODE", 1, 2, {} };
constexpr Argument kMilliseconds { "MS", 0, 3600000, {} };

} // namespace

const std::vector<CommandSpec> &commands()
{
    // clang-format off
    static const std::vector<CommandSpec> table = {
        { "init-controller", Kind::InitController, 0, {},                        true,  "initialise the board's controller" },
        { "spi-write",       Kind::SpiWrite,       2, { kRegister, kData },        true,  "write a chip register" },
        { "spi-read",        Kind::SpiRead,        1, { kRegister },               true,  "read a chip register" },
        { "i2c-write",       Kind::I2cWrite,       3, { kDevice, kByteRegister, kData }, true, "write a register of an I2C device" },
        { "i2c-read",        Kind::I2cRead,        2, { kDevice, kByteRegister },  true,  "read a register of an I2C device" },
        { "measure",         Kind::Measure,        2, { kChannel, kAdc },          true,  "read an ADC channel" },
        { "pin-read",        Kind::PinRead,        2, { kGroup, kPin },            true,  "read a pin's level" },
        { "pin-dir",         Kind::PinDir,         3, { kGroup, kPin, kBit },      true,  "make a pin an output (VALUE 1) or an input (0)" },
        { "pin-set",         Kind::PinSet,         3, { kGroup, kPin, kBit },      true,  "set a pin's output level (VALUE 0 or 1)" },
        { "status",          Kind::Status,         0, {},                        true,  "search for the board and probe it" },
        { "prepare",         Kind::Prepare,        0, {},                        true,  "prepare the board's controller and pins, as the window does on finding it" },
        { "train",           Kind::Train,          1, { kTrain },                  true,  "program a train of 1, 2 or 3 pulses" },
        { "change-current",  Kind::ChangeCurrent,  0, {},                        true,  "send the LED current" },
        { "reset",           Kind::Reset,          0, {},                        true,  "reset the chip" },
        { "follow",          Kind::Follow,         1, { kMode },                   true,  "start follow mode 1 or 2" },
        { "run",             Kind::Run,            1, { kOnOff },                  true,  "hold the run line high (on) or low (off)" },
        { "run-once",        Kind::RunOnce,        1, { kMode },                   true,  "run the chip once, mode 1 or 2" },
        { "settings",        Kind::Settings,       0, {},                        false, "print the labels and train totals for the settings; no board" },
        { "wait",            Kind::Wait,           1, { kMilliseconds },           false, "pause for MS milliseconds, while a scope records; no board" },
    };
    // clang-format on
    return table;
}

std::optional<int> parseNumber(const QString &text)
{
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? text.mid(2) : text;
    if (digits.isEmpty() || digits.size() > 8)
        return std::nullopt;
    for (const QChar c : digits) {
        const bool ok = hex ? (c.isDigit() || QStringLiteral("abcdefABCDEF").contains(c))
                            : (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (!ok)
            return std::nullopt;
    }
    bool ok = false;
    const int value = digits.toInt(&ok, hex ? 16 : 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString parseSetting(int index, const QString &value, Request *request)
{
    const ChipSettings::Setting &s = ChipSettings::settings[static_cast<std::size_t>(index)];
    const std::optional<int> position = parseNumber(value);
    if (!position || *position < s.minimum || *position > s.maximum)
        return QStringLiteral("--%1: '%2' is not a position in %3..%4")
            .arg(QLatin1String(s.name), value)
            .arg(s.minimum)
            .arg(s.maximum);
    request->settings.emplace_back(index, *position);
    return QString();
}

QString parseCommand(const QStringList &words, Request *request)
{
    if (words.isEmpty())
        return QStringLiteral("no command given (see --help)");
    const QString &name = words.first();
    const auto found = std::find_if(commands().begin(), commands().end(),
        [&name](const CommandSpec &spec) { return name == QLatin1String(spec.name); });
    if (found == commands().end())
        return QStringLiteral("unknown command '%1' (see --help)").arg(name);
    const CommandSpec *spec = &*found;

    const int given = int(words.size()) - 1;
    if (given != spec->argumentCount) {
        QString usage = QLatin1String(spec->name);
        for (int i = 0; i < spec->argumentCount; ++i)
            usage += QLatin1Char(' ') + QLatin1String(spec->arguments[std::size_t(i)].name);
        return QStringLiteral("%1: takes %2 argument(s), %3 given; usage: %4")
            .arg(name)
            .arg(spec->argumentCount)
            .arg(given)
            .arg(usage);
    }
    for (int i = 0; i < spec->argumentCount; ++i) {
        const Argument &argument = spec->arguments[std::size_t(i)];
        const QString &word = words.at(i + 1);
        std::optional<int> value;
        if (argument.words[0]) {
            for (int w = 0; w < 2; ++w)
                if (word == QLatin1String(argument.words[w]))
                    value = w;
        } else {
            value = parseNumber(word);
        }
        if (!value || *value < argument.minimum || *value > argument.maximum) {
            const QString expected = argument.words[0]
                ? QLatin1String(argument.name)
                : QStringLiteral("%1..%2").arg(argument.minimum).arg(argument.maximum);
            return QStringLiteral("%1: %2 '%3' is not in %4")
                .arg(name, QLatin1String(argument.name), word, expected);
        }
        request->arguments[std::size_t(i)] = *value;
    }
    request->command = spec;
    return QString();
}

QString parseScriptLine(const QString &line, int lineNumber, std::optional<Request> *request)
{
    request->reset();
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
        return QString();

    Request parsed;
    parsed.line = lineNumber;
    QStringList words;
    const QStringList tokens = trimmed.split(QRegularExpression(QStringLiteral("\\s+")));
    for (int i = 0; i < tokens.size(); ++i) {
        const QString &token = tokens.at(i);
        if (!token.startsWith(QLatin1String("--"))) {
            words.append(token);
            continue;
        }
        int index = -1;
        for (int s = 0; s < ChipSettings::kCount; ++s)
            if (token.mid(2) == QLatin1String(ChipSettings::settings[std::size_t(s)].name))
                index = s;
        if (index < 0)
            return QStringLiteral("unknown option '%1'").arg(token);
        if (i + 1 >= tokens.size())
            return QStringLiteral("%1: missing its value").arg(token);
        const QString error = parseSetting(index, tokens.at(++i), &parsed);
        if (!error.isEmpty())
            return error;
    }
    const QString error = parseCommand(words, &parsed);
    if (!error.isEmpty())
        return error;
    *request = parsed;
    return QString();
}

QString commandHelp()
{
    QString text = QStringLiteral("Commands:\n");
    for (const CommandSpec &spec : commands()) {
        QString usage = QLatin1String(spec.name);
        for (int i = 0; i < spec.argumentCount; ++i)
            usage += QLatin1Char(' ') + QLatin1String(spec.arguments[std::size_t(i)].name);
        text += QStringLiteral("  %1%2\n").arg(usage, -26).arg(QLatin1String(spec.summary));
    }
    return text;
}

} // namespace Ctl
