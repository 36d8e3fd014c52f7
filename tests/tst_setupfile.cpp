// The setup file's reader and writer: what they keep, the bytes they write, what they refuse.
#include "refusedsetups.h"
#include "setupfile.h"

#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using Positions = ChipSettings::Positions;
Q_DECLARE_METATYPE(Positions)

class TestSetupFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void refused_data();
    void refused();
};

static Positions randomPositions(QRandomGenerator &random)
{
    Positions positions {};
    for (int i = 0; i < ChipSettings::kCount; ++i) {
        const ChipSettings::Setting &s = ChipSettings::settings[std::size_t(i)];
        positions[std::size_t(i)] = random.bounded(s.minimum, s.maximum + 1);
    }
    return positions;
}

void TestSetupFile::roundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bench 3.qd7310");
    QRandomGenerator random(25);
    // A comma for the decimal point must not reach the file.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (int round = 0; round < 200; ++round) {
        const Positions saved = randomPositions(random);
        const QByteArray bytes = SetupFile::serialize(saved);
        QCOMPARE(SetupFile::serialize(saved), bytes);
        QVERIFY(bytes.endsWith("}\n") && !bytes.contains(",5 ") && !bytes.contains('\r'));
        Positions parsed = ChipSettings::startPositions();
        QCOMPARE(SetupFile::parse(bytes, &parsed), QString());
        QCOMPARE(parsed, saved);
        if (round % 20 == 0) {
            QCOMPARE(SetupFile::write(path, saved), QString());
            Positions read = ChipSettings::startPositions();
            QCOMPARE(SetupFile::read(path, &read), QString());
            QCOMPARE(read, saved);
        }
    }
    QLocale::setDefault(QLocale::c());

    // What a reader of the file sees, keys in their fixed order.
    const QByteArray start = SetupFile::serialize(ChipSettings::startPositions());
    QVERIFY2(start.startsWith("{\n    \"format\": \"qd7310-setup\",\n    \"version\": 1,\n"
                              "    \"settings\": {\n        \"calibration\": 1,\n"),
        start);
    for (const char *part : { "\"on1\": \"13.2 ms\"", "\"train3\": \"118 ms\"", "\"15\": 20\n" })
        QVERIFY2(start.contains(part), part);
    QCOMPARE(SetupFile::toJson(ChipSettings::startPositions()).value("version").toInt(), 1);

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

void TestSetupFile::refused_data()
{
    addRefusedSetupRows();
}

void TestSetupFile::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString path = dir.filePath("led 3.qd7310");
    QFile file(path);
    QVERIFY(bytes.isNull() || (file.open(QIODevice::WriteOnly) && file.write(bytes) >= 0));
    file.close();
    Positions untouched {};
    untouched.fill(-7);
    Positions positions = untouched;
    const QString error = SetupFile::read(path, &positions);
    QVERIFY2(error.startsWith(path + ": ") && error.contains(problem), qPrintable(error));
    QCOMPARE(positions, untouched);
}

QTEST_GUILESS_MAIN(TestSetupFile)
#include "tst_setupfile.moc"
