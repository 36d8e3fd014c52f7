#pragma once

// Every kind of setup file that is refused as a whole, for any front end's data-driven test:
// the file's bytes (a null array: no file there at all) and a part of the message that must
// name the problem.
#include <QByteArray>
#include <QString>
#include <QTest>

inline void addRefusedSetupRows()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem");

    const auto setup = [](const QByteArray &settings, const QByteArray &version = "1") {
        return "{\"format\": \"qd7310-setup\", \"version\": " + version
            + ", \"settings\": " + settings + "}\n";
    };
    QTest::newRow("no file") << QByteArray() << "cannot read";
    QTest::newRow("empty") << QByteArray("") << "is empty";
    QTest::newRow("Latin-1") << setup("{\"on1\": 3}").replace("}\n", ", \"by\": \"J\xF6rg\"}")
                             << "is not UTF-8";
    QTest::newRow("cut short") << setup("{\"on1\": 3}").left(30) << "is not JSON";
    QTest::newRow("text after the object") << setup("{}") + "{}"
                                           << "is not JSON";
    QTest::newRow("an array") << QByteArray("[1, 2]") << "is not one JSON object";
    QTest::newRow("no format") << QByteArray("{\"version\": 1, \"settings\": {}}")
                               << "no \"format\"";
    QTest::newRow("other format") << QByteArray(
        "{\"format\": \"qd7310-trace\", \"version\": 1, \"settings\": {}}")
                                  << "\"format\" is \"qd7310-trace\", not \"qd7310-setup\"";
    QTest::newRow("version 2") << setup("{}", "2")
                               << "\"version\" is 2; this program reads version 1";
    QTest::newRow("no settings") << QByteArray("{\"format\": \"qd7310-setup\", \"version\": 1}")
                                 << "no \"settings\"";
    // Sound files but for their settings: the settings, and the problem.
    const char *const badSettings[][3] = {
        { "settings not an object", "[1, 2]", R"("settings" is [1,2], not an object)" },
        { "surrogate in UTF-8", "{\"\xED\xA0\x80\": 3}", "is not UTF-8" },
        { "typo", R"({"curent": 3})",
            R"("curent" is not a setting; the settings are calibration,)" },
        { "over the top", R"({"on1": 32})", R"("on1": 32 is not a position in 0..31)" },
        { "fraction", R"({"current": 2.5})", R"("current": 2.5 is not a position in 0..7)" },
        { "huge", R"({"off3": 1e300})", R"("off3": 1e+300 is not a position)" },
        { "text", R"({"current": "5"})", R"("current": "5" is not a position in 0..7)" },
        { "twice", R"({"on1": 3, "on\u0031": 4})", R"(the key "on1" comes twice in one object)" },
    };
    for (const auto &row : badSettings)
        QTest::newRow(row[0]) << setup(row[1]) << QString(row[2]);
}
