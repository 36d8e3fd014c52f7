#include "ctlcommand.h"

#include "firmwareexport.h"
#include "setupfile.h"

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
// Run Once 1's second click: "off" stands for 1, and its absence for the first click.
constexpr Argument kRelease { "off", 1, 1, { nullptr, "off" }, true };
constexpr Argument kFile { "FILE", 0, 0, {}, false, true };
constexpr Argument kFormat { "c|csv|json", 0, 0, {}, false, true };
// The rest of the line, a programming command in this tool's words: "train 3".
constexpr Argument kExported { "COMMAND...", 0, 0, {}, false, true };

bool isWord(const Argument &argument)
{
    return argument.words[0] || argument.words[1];
}

QString usage(const CommandSpec &spec)
{
    QString text = QLatin1String(spec.name);
    for (int i = 0; i < spec.argumentCount; ++i) {
        const Argument &argument = spec.arguments[std::size_t(i)];
        text += argument.optional ? QStringLiteral(" [%1]").arg(QLatin1String(argument.name))
                                  : QLatin1Char(' ') + QLatin1String(argument.name);
    }
    return text;
}

// The text arguments' own checks. A setup to load is read now, so that a refused file stops a
// script before anything is sent; the line's own settings, already parsed, still win over it.
QString checkTexts(Kind kind, Request *request)
{
    if (kind == Kind::LoadSetup) {
        ChipSettings::Positions positions {};
        const QString error = SetupFile::read(request->texts.at(0), &positions);
        if (!error.isEmpty())
            return error;
        std::vector<std::pair<int, int>> loaded;
        for (int i = 0; i < ChipSettings::kCount; ++i)
            loaded.emplace_back(i, positions[std::size_t(i)]);
        request->settings.insert(request->settings.begin(), loaded.begin(), loaded.end());
    } else if (kind == Kind::Export) {
        if (!FirmwareExport::formatNamed(request->texts.at(0)))
            return QStringLiteral("export: FORMAT '%1' is not c, csv or json")
                .arg(request->texts.at(0));
        if (!FirmwareExport::findCommand(request->texts.at(1))) {
            QStringList known;
            for (const FirmwareExport::Command &command : FirmwareExport::commands())
                known.append(QLatin1String(command.words));
            return QStringLiteral("export: '%1' is not a programming command (%2)")
                .arg(request->texts.at(1), known.join(QLatin1String(", ")));
        }
    }
    return QString();
}

// Splits a line into its words; a word in double quotes may hold blanks and quotes.
QString splitWords(const QString &line, QList<std::pair<QString, bool>> *words)
{
    const qsizetype size = line.size();
    for (qsizetype i = 0; i < size;) {
        if (line.at(i).isSpace()) {
            ++i;
            continue;
        }
        QString word;
        const bool quoted = line.at(i) == QLatin1Char('"');
        if (quoted) {
            for (++i;; ++i) {
                if (i >= size)
                    return QStringLiteral("a double quote is not closed");
                const QChar c = line.at(i);
                if (c == QLatin1Char('\\') && i + 1 < size
                    && (line.at(i + 1) == QLatin1Char('"') || line.at(i + 1) == QLatin1Char('\\')))
                    word += line.at(++i);
                else if (c == QLatin1Char('"'))
                    break;
                else
                    word += c;
            }
            if (++i < size && !line.at(i).isSpace())
                return QStringLiteral("a blank must follow the closing quote of \"%1\"").arg(word);
        } else {
            while (i < size && !line.at(i).isSpace())
                word += line.at(i++);
        }
        words->append({ word, quoted });
    }
    return QString();
}

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
        { "run-once",        Kind::RunOnce,        2, { kMode, kRelease },         true,  "run the chip once, mode 1 or 2; \"1 off\" releases Run Once 1" },
        { "settings",        Kind::Settings,       0, {},                        false, "print the labels and train totals for the settings; no board" },
        { "wait",            Kind::Wait,           1, { kMilliseconds },           false, "pause for MS milliseconds, while a scope records; no board" },
        { "list",            Kind::List,           0, {},                        true,  "list the boards present: location, whether each opens and answers" },
        { "load-setup",      Kind::LoadSetup,      1, { kFile },                   false, "make a setup file's settings the current ones; no board" },
        { "save-setup",      Kind::SaveSetup,      1, { kFile },                   false, "save the current settings as a setup file; no board" },
        { "export",          Kind::Export,         2, { kFormat, kExported },      false, "print a programming command's chip writes for firmware; no board" },
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
            .arg(QLatin1String(s.name), value, QString::number(s.minimum),
                QString::number(s.maximum));
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

    // An export's command is the rest of the line, however many words it has.
    QStringList joined = words;
    if (spec->kind == Kind::Export && joined.size() > 3)
        joined = joined.mid(0, 2) << joined.mid(2).join(QLatin1Char(' '));
    int required = spec->argumentCount;
    while (required > 0 && spec->arguments[std::size_t(required - 1)].optional)
        --required;
    const int given = int(joined.size()) - 1;
    if (given < required || given > spec->argumentCount) {
        const QString count = required == spec->argumentCount ? QString::number(required)
                                                              : QString::number(required)
                + QLatin1String(" or ") + QString::number(spec->argumentCount);
        return QStringLiteral("%1: takes %2 argument(s), %3 given; usage: %4")
            .arg(name, count, QString::number(given), usage(*spec));
    }
    Request parsed = *request;
    parsed.arguments = {};
    parsed.texts.clear();
    for (int i = 0; i < given; ++i) {
        const Argument &argument = spec->arguments[std::size_t(i)];
        const QString &word = joined.at(i + 1);
        if (argument.text) {
            parsed.texts.append(word);
            continue;
        }
        std::optional<int> value;
        if (isWord(argument)) {
            for (int w = 0; w < 2; ++w)
                if (argument.words[w] && word == QLatin1String(argument.words[w]))
                    value = w;
        } else {
            value = parseNumber(word);
        }
        if (!value || *value < argument.minimum || *value > argument.maximum) {
            const QString expected = isWord(argument) ? QLatin1String(argument.name)
                                                      : QString::number(argument.minimum)
                    + QLatin1String("..") + QString::number(argument.maximum);
            return QStringLiteral("%1: %2 '%3' is not in %4")
                .arg(name, QLatin1String(argument.name), word, expected);
        }
        parsed.arguments[std::size_t(i)] = *value;
    }
    // Only Run Once 1 is a checkable button with a second click.
    if (spec->kind == Kind::RunOnce && parsed.arguments[1] && parsed.arguments[0] != 1)
        return QStringLiteral("run-once: only mode 1 is released with off");
    const QString error = checkTexts(spec->kind, &parsed);
    if (!error.isEmpty())
        return error;
    parsed.command = spec;
    *request = parsed;
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
    QList<std::pair<QString, bool>> tokens; // each word, and whether it was quoted
    const QString splitError = splitWords(trimmed, &tokens);
    if (!splitError.isEmpty())
        return splitError;
    QStringList words;
    for (int i = 0; i < tokens.size(); ++i) {
        const QString &token = tokens.at(i).first;
        if (tokens.at(i).second || !token.startsWith(QLatin1String("--"))) {
            words.append(token);
            continue;
        }
        // --NAME VALUE or --NAME=VALUE, as on the command line.
        const int equals = token.indexOf(QLatin1Char('='));
        const QString option = equals < 0 ? token : token.left(equals);
        int index = -1;
        for (int s = 0; s < ChipSettings::kCount; ++s)
            if (option.mid(2) == QLatin1String(ChipSettings::settings[std::size_t(s)].name))
                index = s;
        if (index < 0)
            return QStringLiteral("unknown option '%1'").arg(option);
        if (equals < 0 && i + 1 >= tokens.size())
            return QStringLiteral("%1: missing its value").arg(option);
        const QString value = equals < 0 ? tokens.at(++i).first : token.mid(equals + 1);
        const QString error = parseSetting(index, value, &parsed);
        if (!error.isEmpty())
            return error;
    }
    const QString error = parseCommand(words, &parsed);
    if (!error.isEmpty())
        return error;
    *request = parsed;
    return QString();
}

QString Locks::check(const Request &request) const
{
    const auto &a = request.arguments;
    bool locked = false; // the window disables this command's button in the held state
    switch (request.command->kind) {
    case Kind::Run:
        locked = mHeld == Held::RunOnce1 || (mHeld == Held::Run && a[0]);
        break;
    case Kind::RunOnce:
        locked = a[0] == 1 && a[1] ? mHeld == Held::Run : mHeld != Held::Nothing;
        break;
    case Kind::Train:
    case Kind::ChangeCurrent:
    case Kind::Reset:
    case Kind::Follow:
        locked = mHeld != Held::Nothing;
        break;
    default:
        break;
    }
    if (!locked)
        return QString();
    QString command = QLatin1String(request.command->name);
    for (int i = 0; i < request.command->argumentCount; ++i) {
        const Argument &argument = request.command->arguments[std::size_t(i)];
        if (argument.optional && !a[std::size_t(i)])
            continue;
        command += QLatin1Char(' ')
            + (isWord(argument) ? QLatin1String(argument.words[a[std::size_t(i)]])
                                : QString::number(a[std::size_t(i)]));
    }
    return mHeld == Held::Run
        ? QStringLiteral("%1: locked while Run is on; release it first with run off").arg(command)
        : QStringLiteral("%1: locked while Run Once 1 is on; release it first with "
                         "run-once 1 off")
              .arg(command);
}

void Locks::take(const Request &request)
{
    const auto &a = request.arguments;
    if (request.command->kind == Kind::Run)
        mHeld = a[0] ? Held::Run : Held::Nothing;
    else if (request.command->kind == Kind::RunOnce && a[0] == 1)
        mHeld = a[1] ? Held::Nothing : Held::RunOnce1;
}

QString checkLocks(const std::vector<Request> &requests, int *line)
{
    Locks locks;
    for (const Request &request : requests) {
        const QString error = locks.check(request);
        if (!error.isEmpty()) {
            *line = request.line;
            return error;
        }
        locks.take(request);
    }
    return QString();
}

QString commandHelp()
{
    QString text = QStringLiteral("Commands:\n");
    for (const CommandSpec &spec : commands())
        text += QLatin1String("  ") + usage(spec).leftJustified(26) + QLatin1Char(' ')
            + QLatin1String(spec.summary) + QLatin1Char('\n');
    return text;
}

} // namespace Ctl
