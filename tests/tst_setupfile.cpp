// The setup file's reader and writer: what they keep and the bytes they write. What they refuse
// is tested through the window and qd7310-ctl, which show the reader's message.
#include "setupfile.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

using Positions = ChipSettings::Positions;

class TestSetupFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        QRandomGenerator random(25);
        // A comma for the decimal point must not reach the file.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        for (int round = 0; round < 200; ++round) {
            Positions saved {};
            for (std::size_t i = 0; i < saved.size(); ++i)
                saved[i] = random.bounded(
                    ChipSettings::settings[i].minimum, ChipSettings::settings[i].maximum + 1);
            const QByteArray bytes = SetupFile::serialize(saved);
            QVERIFY(bytes.endsWith("}\n") && !bytes.contains(",5 ") && !bytes.contains('\r'));
            Positions parsed = ChipSettings::startPositions();
            QCOMPARE(SetupFile::parse(bytes, &parsed), QString());
            QCOMPARE(parsed, saved);
        }
        QLocale::setDefault(QLocale::c());

        // What a reader of the file sees, keys in their fixed order.
        const QByteArray start = SetupFile::serialize(ChipSettings::startPositions());
        QVERIFY2(start.startsWith("{\n    \"format\": \"qd7310-setup\",\n    \"version\": 1,\n"
                                  "    \"settings\": {\n        \"calibration\": 1,\n"),
            start);
        for (const char *part :
            { "\"on1\": \"13.2 ms\"", "\"train3\": \"118 ms\"", "\"15\": 20\n" })
            QVERIFY2(start.contains(part), part);

        // A setting left out takes its start position, 5.0 is 5, and other keys do not count.
        Positions some = ChipSettings::startPositions();
        some[ChipSettings::On1] = 7;
        Positions parsed {};
        QCOMPARE(SetupFile::parse(
                     "\xEF\xBB\xBF{\"settings\": {\"on1\": 7.0}, \"note\": {\"on1\": [{}, {}]}, "
                     "\"version\": 1, \"format\": \"qd7310-setup\"}\r\n",
                     &parsed),
            QString());
        QCOMPARE(parsed, some);
    }
};

QTEST_GUILESS_MAIN(TestSetupFile)
#include "tst_setupfile.moc"
