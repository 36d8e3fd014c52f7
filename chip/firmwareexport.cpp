#include "firmwareexport.h"

#include "jsontext.h"
#include "setupfile.h"

#include <QCoreApplication>
#include <QStringList>

namespace FirmwareExport {

namespace {

// What a register means to the chip, and the physical value it carries.
struct Meaning
{
    QString role;
    QString physical;
};

const Command *commandWithCode(int code)
{
    for (const Command &command : commands())
        if (command.copy->command == code)
            return &command;
    return nullptr;
}

Meaning meaning(const Write &write, const ChipSettings::Positions &positions)
{
    if (write.reg == ChipProgram::kCommandRegister) {
        const Command *command = commandWithCode(write.value);
        return { QStringLiteral("command"),
            command ? QLatin1String(command->words) : QString::number(write.value) };
    }
    if (write.reg == ChipProgram::kFixedRegister)
        return { QStringLiteral("fixed value"), QString::number(write.value) };
    for (int i = 0; i < ChipSettings::kCount; ++i) {
        const ChipSettings::Setting &s = ChipSettings::settings[std::size_t(i)];
        if (s.reg != write.reg)
            continue;
        static const char *const phases[] = { "rise", "on", "fall", "off" };
        const int timing = i - ChipSettings::kFirstTiming;
        const QString role = i == ChipSettings::Calibration ? QStringLiteral("calibration pulse")
            : i == ChipSettings::Current                    ? QStringLiteral("LED current")
                                                            : QStringLiteral("%1 time, pulse %2")
                                               .arg(QLatin1String(phases[timing % 4]))
                                               .arg(timing / 4 + 1);
        return { role, ChipSettings::labelText(i, positions[std::size_t(i)]) };
    }
    return { QStringLiteral("register %1").arg(write.reg), QString::number(write.value) };
}

// Text from outside (a file's path) must not end a comment, nor its line, early.
QString commentSafe(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    // "*/" would end a C comment; "??" could start a trigraph.
    return text.replace(QLatin1String("*/"), QLatin1String("* /"))
        .replace(QLatin1String("??"), QLatin1String("? ?"));
}

QStringList about(const Command &command, const QString &setupPath)
{
    const QString program = QCoreApplication::applicationName().isEmpty()
        ? QStringLiteral("qd7310")
        : QCoreApplication::applicationName();
    QStringList lines {
        QStringLiteral("QD7310 chip writes of the button \"%1\" (qd7310-ctl: %2)")
            .arg(QLatin1String(command.title), QLatin1String(command.words)),
        QStringLiteral("Exported by %1 %2").arg(program, QStringLiteral(QD7310_VERSION)),
    };
    if (!setupPath.isEmpty())
        lines.append(QLatin1String("Setup: ") + commentSafe(setupPath));
    lines.append(QStringLiteral("Each write is {register, value}, sent in this order; the command "
                                "code to register 0 comes last."));
    return lines;
}

QString hex(int value)
{
    return QString::asprintf("0x%02X", unsigned(value));
}

QByteArray renderC(const Command &command, const std::vector<Write> &list,
    const ChipSettings::Positions &positions, const QString &setupPath)
{
    const QString seq = QLatin1String("QD7310_") + QLatin1String(command.macro);
    QString text = QStringLiteral("/*\n");
    for (const QString &line : about(command, setupPath))
        text += QLatin1String(" * ") + line + QLatin1Char('\n');
    text += QStringLiteral(" *\n *   static const struct qd7310_write seq[] = %1_WRITES;\n */\n")
                .arg(seq);
    text += QStringLiteral("#ifndef %1_H\n#define %1_H\n\n#include <stdint.h>\n\n").arg(seq);
    // Every export defines the type, so that any of them can be included alone.
    text += QStringLiteral("#ifndef QD7310_WRITE_DEFINED\n#define QD7310_WRITE_DEFINED\n"
                           "struct qd7310_write { uint8_t reg; uint8_t value; };\n#endif\n\n");
    text += QStringLiteral("#define %1_WRITES \\\n    { \\\n").arg(seq);
    for (std::size_t i = 0; i < list.size(); ++i)
        text += QStringLiteral("        { %1, %2 }%3 /* %4 */ \\\n")
                    .arg(hex(list[i].reg), hex(list[i].value),
                        i + 1 < list.size() ? QStringLiteral(",") : QString(),
                        commentSafe(describe(list[i], positions)));
    text += QStringLiteral("    }\n#define %1_COUNT %2\n\n#endif /* %1_H */\n")
                .arg(seq)
                .arg(list.size());
    return text.toUtf8();
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1String("\""), QLatin1String("\"\""))
        + QLatin1Char('"');
}

QByteArray renderCsv(const Command &command, const std::vector<Write> &list,
    const ChipSettings::Positions &positions, const QString &setupPath)
{
    QString text;
    for (const QString &line : about(command, setupPath))
        text += QLatin1String("# ") + line + QLatin1Char('\n');
    text += QStringLiteral("step,register,value,role,physical\n");
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Meaning m = meaning(list[i], positions);
        text += QStringLiteral("%1,%2,%3,%4,%5\n")
                    .arg(QString::number(i + 1), hex(list[i].reg), hex(list[i].value),
                        csvField(m.role), csvField(m.physical));
    }
    return text.toUtf8();
}

QByteArray renderJson(const Command &command, const std::vector<Write> &list,
    const ChipSettings::Positions &positions)
{
    QByteArray writes = "[\n";
    for (std::size_t i = 0; i < list.size(); ++i)
        writes += "        {\"register\": " + QByteArray::number(list[i].reg) + ", \"value\": "
            + QByteArray::number(list[i].value) + '}' + (i + 1 < list.size() ? ",\n" : "\n");
    writes += "    ]";
    const JsonText::Members members = {
        { QStringLiteral("format"), JsonText::string(QStringLiteral("qd7310-export")) },
        { QStringLiteral("version"), QByteArray::number(1) },
        { QStringLiteral("command"), JsonText::string(QLatin1String(command.words)) },
        { QStringLiteral("writes"), writes },
        { QStringLiteral("setup"), SetupFile::objectText(positions, 1) },
    };
    return JsonText::object(members, 0) + '\n';
}

} // namespace

const std::array<Command, 9> &commands()
{
    using namespace ChipProgram;
    // clang-format off
    static const std::array<Command, 9> table = { {
        { "reset",         "RESET",         "resetButton",   &reset,        "Reset" },
        { "follow 1",      "FOLLOW_1",      "followButton",  &followMode1,  "Follow Mode 1" },
        { "follow 2",      "FOLLOW_2",      "followIButton", &followMode2,  "Follow Mode 2" },
        { "change-current", "CHANGE_CURRENT", "currentButton", &changeCurrent, "Change Current" },
        { "train 1",       "TRAIN_1",       "train1Button",  &train1,       "Train 1 Pulse" },
        { "train 2",       "TRAIN_2",       "train2Button",  &train2,       "Train 2 Pulses" },
        { "train 3",       "TRAIN_3",       "train3Button",  &train3,       "Train 3 Pulses" },
        { "run-once 1",    "RUN_ONCE_1",    "runOnceButton", &runOnce1,     "Run Once 1" },
        { "run-once 2",    "RUN_ONCE_2",    "runOnce2Button", &runOnce2,    "Run Once 2" },
    } };
    // clang-format on
    return table;
}

const Command *findCommand(const QString &words)
{
    for (const Command &command : commands())
        if (words == QLatin1String(command.words))
            return &command;
    return nullptr;
}

std::optional<Format> formatNamed(const QString &name)
{
    if (name == QLatin1String("c"))
        return Format::C;
    if (name == QLatin1String("csv"))
        return Format::Csv;
    if (name == QLatin1String("json"))
        return Format::Json;
    return std::nullopt;
}

QString suffix(Format format)
{
    switch (format) {
    case Format::C:
        return QStringLiteral("h");
    case Format::Csv:
        return QStringLiteral("csv");
    case Format::Json:
        break;
    }
    return QStringLiteral("json");
}

std::vector<Write> writes(const RegisterCopy &copy, const ChipSettings::Positions &positions)
{
    ChipSettings::RegisterImage chipRegs {};
    ChipSettings::fillImage(chipRegs, positions);
    return ChipProgram::registerWrites(chipRegs, copy);
}

QString describe(const Write &write, const ChipSettings::Positions &positions)
{
    const Meaning m = meaning(write, positions);
    return m.role + QLatin1String(": ") + m.physical;
}

QByteArray render(Format format, const Command &command, const ChipSettings::Positions &positions,
    const QString &setupPath)
{
    const std::vector<Write> list = writes(*command.copy, positions);
    switch (format) {
    case Format::C:
        return renderC(command, list, positions, setupPath);
    case Format::Csv:
        return renderCsv(command, list, positions, setupPath);
    case Format::Json:
        break;
    }
    return renderJson(command, list, positions);
}

} // namespace FirmwareExport
