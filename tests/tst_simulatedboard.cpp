#include "boardfirmware.h"
#include "simulatedboard.h"

#include <QtTest>

namespace {
using Report = std::array<std::uint8_t, BoardFirmware::kReportLength>;

Report command(
    std::uint8_t code, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4 = 0)
{
    return Report { 0x00, 0x08, 0x00, code, 0x26, p1, p2, p3, p4 };
}
} // namespace

class TestSimulatedBoard : public QObject
{
    Q_OBJECT

private slots:
    void firmwareAnswers_data();
    void firmwareAnswers();
    void pinsFollowDirectionAndLatch();
    void initialisationClearsState();
    void chosenCommandStatus();
    void faultPlanCountsFromNow();
    void stringRequestsAreRaw();
    void platformOutlivingBoardFindsNothing();
};

void TestSimulatedBoard::firmwareAnswers_data()
{
    QTest::addColumn<QByteArray>("report"); // bytes 1..8 in hex
    QTest::addColumn<QByteArray>("answer"); // bytes 0..2 in hex
    QTest::newRow("spi write then state") << QByteArray("0800112614030000") << QByteArray("000000");
    QTest::newRow("spi write out of range")
        << QByteArray("0800112614200000") << QByteArray("000300");
    QTest::newRow("spi read reg 2") << QByteArray("0800222600C40000") << QByteArray("AB0000");
    QTest::newRow("spi read without read bits")
        << QByteArray("0800222600040000") << QByteArray("000300");
    QTest::newRow("i2c absent device") << QByteArray("0800202600103300") << QByteArray("000200");
    QTest::newRow("i2c read") << QByteArray("0800202600105000") << QByteArray("660000");
    QTest::newRow("measure device 2 channel 3")
        << QByteArray("0800302600130000") << QByteArray("D800DF");
    QTest::newRow("pin group out of range")
        << QByteArray("0800382600000902") << QByteArray("000300");
    QTest::newRow("pin sub-function unknown")
        << QByteArray("0800382600000107") << QByteArray("000100");
    QTest::newRow("unknown command") << QByteArray("0800772600000000") << QByteArray("000100");
    QTest::newRow("bad length byte") << QByteArray("0700112614030000") << QByteArray("000400");
    QTest::newRow("bad marker") << QByteArray("0800112514030000") << QByteArray("000400");
}

void TestSimulatedBoard::firmwareAnswers()
{
    QFETCH(QByteArray, report);
    QFETCH(QByteArray, answer);
    BoardFirmware firmware;
    firmware.setSpiRegister(2, 0xAB);
    firmware.attachI2cDevice(0x50);
    firmware.setI2cRegister(0x50, 0x10, 0x66);
    firmware.setAdcValue(2, 3, 0xD8DF);

    Report bytes {};
    const QByteArray raw = QByteArray::fromHex(report);
    std::copy(raw.begin(), raw.end(), bytes.begin() + 1);
    const BoardFirmware::Answer &result = firmware.handleReport(bytes.data(), int(bytes.size()));
    QCOMPARE(
        QByteArray(reinterpret_cast<const char *>(result.data()), 3).toHex().toUpper(), answer);
    if (QByteArray(QTest::currentDataTag()) == "spi write then state")
        QCOMPARE(firmware.spiRegister(3), std::uint8_t(0x14));
}

void TestSimulatedBoard::pinsFollowDirectionAndLatch()
{
    BoardFirmware firmware;
    firmware.setPinInputs(1, 0x0F);
    firmware.handleReport(command(0x38, 0xC0, 0x00, 1, 1).data(), 17); // pins 6, 7 drive
    firmware.handleReport(command(0x38, 0x40, 0x00, 1, 3).data(), 17); // pin 6 high
    QCOMPARE(firmware.pinGroup(1).direction, std::uint8_t(0xC0));
    QCOMPARE(firmware.pinLevels(1), std::uint8_t(0x4F));
    firmware.handleReport(command(0x38, 0x00, 0x40, 1, 3).data(), 17); // pin 6 low
    QCOMPARE(firmware.handleReport(command(0x38, 0, 0, 1, 2).data(), 17)[0], std::uint8_t(0x0F));
}

void TestSimulatedBoard::initialisationClearsState()
{
    BoardFirmware firmware;
    firmware.setSpiRegister(5, 1);
    firmware.setAdcValue(0, 0, 99);
    QVERIFY(!firmware.initialised());
    firmware.handleReport(command(0x00, 0, 0, 0).data(), 17);
    QVERIFY(firmware.initialised());
    QCOMPARE(firmware.initCount(), 1);
    QCOMPARE(firmware.spiRegister(5), std::uint8_t(0));
    QCOMPARE(firmware.adcValue(0, 0), std::uint16_t(99));
}

void TestSimulatedBoard::chosenCommandStatus()
{
    BoardFirmware firmware;
    firmware.setCommandStatus(0x38, 0x55, 3);
    QCOMPARE(firmware.handleReport(command(0x38, 1, 0, 1, 3).data(), 17)[1], std::uint8_t(0x55));
    QCOMPARE(firmware.pinGroup(1).level, std::uint8_t(0)); // refused, not carried out
    QCOMPARE(firmware.handleReport(command(0x38, 1, 0, 1, 1).data(), 17)[1], std::uint8_t(0));
    firmware.setCommandStatus(0x38, 0, 3);
    QCOMPARE(firmware.handleReport(command(0x38, 1, 0, 1, 3).data(), 17)[1], std::uint8_t(0));
}

void TestSimulatedBoard::faultPlanCountsFromNow()
{
    SimulatedBoard board;
    auto platform = board.platform();
    QCOMPARE(platform->listDevices(), 1);
    const HidHandle handle = platform->open(0);
    const Report report = command(0x11, 7, 1, 0);
    std::uint8_t answer[8];

    platform->writeReport(handle, report.data(), 17, 10);
    board.planFault(2, SimulatedBoard::Fault::StalledWrite);
    board.planFault(3, SimulatedBoard::Fault::ErrorStatus, 0x99);
    board.planFault(4, SimulatedBoard::Fault::NoAnswer);
    board.planFault(5, SimulatedBoard::Fault::Unplug);

    QCOMPARE(
        platform->writeReport(handle, report.data(), 17, 10).outcome, HidWriteResult::Completed);
    QVERIFY(platform->readString(handle, 244, answer, 8));
    QCOMPARE(
        platform->writeReport(handle, report.data(), 17, 10).outcome, HidWriteResult::TimedOut);
    QCOMPARE(
        platform->writeReport(handle, report.data(), 17, 10).outcome, HidWriteResult::Completed);
    QVERIFY(platform->readString(handle, 244, answer, 8));
    QCOMPARE(answer[1], std::uint8_t(0x99));
    platform->writeReport(handle, report.data(), 17, 10);
    QVERIFY(!platform->readString(handle, 244, answer, 8));
    const HidWriteResult gone = platform->writeReport(handle, report.data(), 17, 10);
    QCOMPARE(gone.outcome, HidWriteResult::Failed);
    QCOMPARE(gone.errorCode, HidError::DeviceNotConnected);
    QVERIFY(!board.isPresent());
    QCOMPARE(board.reports().size(), std::size_t(4)); // neither the stalled nor the unplugged one
    board.clearReports();
    QVERIFY(board.reports().empty());
    platform->close(handle);
    QCOMPARE(board.openHandleCount(), 0);
}

void TestSimulatedBoard::stringRequestsAreRaw()
{
    SimulatedBoard board;
    board.firmware().setAdcValue(0, 0, 0xDC00);
    auto platform = board.platform();
    platform->listDevices();
    const HidHandle handle = platform->open(0);
    const Report report = command(0x30, 0, 0, 0);
    platform->writeReport(handle, report.data(), 17, 10);
    std::uint8_t answer[8] = { 1, 1, 1, 1, 1, 1, 1, 1 };
    QVERIFY(platform->readString(handle, 244, answer, 8));
    QCOMPARE(
        QByteArray(reinterpret_cast<char *>(answer), 8).toHex(), QByteArray("dc00000000000000"));
    QVERIFY(!platform->readString(handle, 3, answer, 8));
    board.setFailStringReads(true);
    QVERIFY(!platform->readString(handle, 244, answer, 8));
}

void TestSimulatedBoard::platformOutlivingBoardFindsNothing()
{
    std::unique_ptr<HidPlatform> platform;
    HidHandle handle = kInvalidHidHandle;
    {
        SimulatedBoard board;
        platform = board.platform();
        platform->listDevices();
        handle = platform->open(0);
        QVERIFY(handle != kInvalidHidHandle);
    }
    const Report report = command(0x11, 1, 1, 0);
    QCOMPARE(platform->listDevices(), 0);
    QCOMPARE(platform->writeReport(handle, report.data(), 17, 10).outcome, HidWriteResult::Failed);
    platform->close(handle);
}

QTEST_GUILESS_MAIN(TestSimulatedBoard)
#include "tst_simulatedboard.moc"
