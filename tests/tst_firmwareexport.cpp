// The firmware export lists, in every format, exactly the spi_write pairs that the same command
// puts on the wire.
#include "boardtrace.h"
#include "ctlsession.h"
#include "firmwareexport.h"
#include "setupfile.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using Pairs = QList<QPair<int, int>>;

class TestFirmwareExport : public QObject
{
    Q_OBJECT

private slots:
    void equalsTheTrace_data();
    void equalsTheTrace();
};

namespace {

// The {register, value} pairs as each format writes them.
Pairs pairsIn(FirmwareExport::Format format, const QByteArray &text)
{
    Pairs pairs;
    if (format == FirmwareExport::Format::Json) {
        const QJsonArray writes = QJsonDocument::fromJson(text).object()["writes"].toArray();
        for (const QJsonValue &write : writes)
            pairs.append({ write["register"].toInt(-1), write["value"].toInt(-1) });
        return pairs;
    }
    static const QRegularExpression c(QStringLiteral("\\{ 0x([0-9A-F]{2}), 0x([0-9A-F]{2}) \\}"));
    static const QRegularExpression csv(QStringLiteral("^\\d+,0x([0-9A-F]{2}),0x([0-9A-F]{2}),"),
        QRegularExpression::MultilineOption);
    auto match = (format == FirmwareExport::Format::C ? c : csv).globalMatch(text);
    while (match.hasNext()) {
        const QRegularExpressionMatch m = match.next();
        pairs.append({ m.captured(1).toInt(nullptr, 16), m.captured(2).toInt(nullptr, 16) });
    }
    return pairs;
}

} // namespace

void TestFirmwareExport::equalsTheTrace_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("command");
    for (const auto format :
        { FirmwareExport::Format::C, FirmwareExport::Format::Csv, FirmwareExport::Format::Json })
        for (const FirmwareExport::Command &command : FirmwareExport::commands())
            QTest::addRow("%s %s", qPrintable(FirmwareExport::suffix(format)), command.words)
                << int(format) << QString(command.words);
}

void TestFirmwareExport::equalsTheTrace()
{
    QFETCH(int, format);
    QFETCH(QString, command);
    const FirmwareExport::Command *exported = FirmwareExport::findCommand(command);
    QVERIFY(exported);

    // Every setting at a random position of its own, so a register out of place shows.
    QRandomGenerator random(quint32(qHash(command)));
    ChipSettings::Positions positions {};
    std::vector<std::pair<int, int>> settings;
    for (int i = 0; i < ChipSettings::kCount; ++i) {
        const ChipSettings::Setting &s = ChipSettings::settings[std::size_t(i)];
        positions[std::size_t(i)] = random.bounded(s.minimum, s.maximum + 1);
        settings.emplace_back(i, positions[std::size_t(i)]);
    }
    const QByteArray text = FirmwareExport::render(
        FirmwareExport::Format(format), *exported, positions, QStringLiteral("a */ b.qd7310"));

    SimulatedBoard board;
    const BoardTraceCapture quiet;
    Ctl::Session session([&board] { return std::make_unique<USBHid2>(board.platform()); });
    session.applySettings(settings);
    std::optional<Ctl::Request> request;
    QCOMPARE(Ctl::parseScriptLine(command, 1, &request), QString());
    QCOMPARE(session.run(*request).exitCode, int(Ctl::Success));
    Pairs sent;
    for (const SimulatedBoard::ReceivedReport &report : board.reports())
        if (report.command() == 0x11) // spi_write: data, then register
            sent.append({ report.param(2), report.param(1) });
    QVERIFY(!sent.isEmpty() && sent.size() == int(board.reports().size()));
    QCOMPARE(pairsIn(FirmwareExport::Format(format), text), sent);

    switch (FirmwareExport::Format(format)) {
    case FirmwareExport::Format::C:
        QVERIFY(text.contains(QStringLiteral("#define QD7310_%1_COUNT %2\n")
                                  .arg(exported->macro)
                                  .arg(sent.size())
                                  .toUtf8()));
        QVERIFY(text.contains(" * Setup: a * / b.qd7310\n"));
        break;
    case FirmwareExport::Format::Csv:
        QVERIFY(text.contains("\n# Setup: a * / b.qd7310\n") && text.contains("\nstep,register,"));
        break;
    case FirmwareExport::Format::Json: {
        // The setup inside is the one the writer writes, read back to the same positions.
        const QJsonObject setup = QJsonDocument::fromJson(text).object()["setup"].toObject();
        ChipSettings::Positions read {};
        QCOMPARE(SetupFile::parse(QJsonDocument(setup).toJson(), &read), QString());
        QCOMPARE(read, positions);
        QVERIFY(text.contains(SetupFile::objectText(positions, 1)));
        break;
    }
    }
}

QTEST_GUILESS_MAIN(TestFirmwareExport)
#include "tst_firmwareexport.moc"
