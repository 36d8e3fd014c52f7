#include "boardtrace.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QtTest>

namespace {

enum Command {
    InitController,
    I2cWrite,
    SpiWrite,
    I2cRead,
    SpiRead,
    Measure,
    ReadPin,
    SetPinDir,
    SetPin
};

int run(USBHid2 &link, Command command, const QList<int> &a, int *status)
{
    switch (command) {
    case InitController:
        return link.init_controller(status);
    case I2cWrite:
        return link.i2c_write(a[0], a[1], a[2], status);
    case SpiWrite:
        return link.spi_write(a[0], a[1], status);
    case I2cRead:
        return link.i2c_read(a[0], a[1], status);
    case SpiRead:
        return link.spi_read(a[0], status);
    case Measure:
        return link.measure(a[0], a[1], status);
    case ReadPin:
        return link.read_pin(a[0], a[1], status);
    case SetPinDir:
        return link.set_pin_dir(a[0], a[1], a[2], status);
    case SetPin:
        return link.set_pin(a[0], a[1], a[2], status);
    }
    return -2;
}

int failureValue(Command command)
{
    switch (command) {
    case I2cRead:
    case SpiRead:
    case Measure:
    case ReadPin:
        return -1;
    default:
        return 0;
    }
}

QByteArray hexBytes(const std::uint8_t *bytes, int count)
{
    return QByteArray(reinterpret_cast<const char *>(bytes), count).toHex(' ').toUpper();
}

void addEveryCommand()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QList<int>>("args");
    QTest::newRow("init_controller") << int(InitController) << QList<int> {};
    QTest::newRow("i2c_write") << int(I2cWrite) << QList<int> { 0x50, 1, 2 };
    QTest::newRow("spi_write") << int(SpiWrite) << QList<int> { 15, 20 };
    QTest::newRow("i2c_read") << int(I2cRead) << QList<int> { 0x50, 1 };
    QTest::newRow("spi_read") << int(SpiRead) << QList<int> { 15 };
    QTest::newRow("measure") << int(Measure) << QList<int> { 1, 2 };
    QTest::newRow("read_pin") << int(ReadPin) << QList<int> { 1, 2 };
    QTest::newRow("set_pin_dir") << int(SetPinDir) << QList<int> { 1, 2, 1 };
    QTest::newRow("set_pin") << int(SetPin) << QList<int> { 1, 2, 1 };
}

} // namespace

class TestUsbHid2 : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        board = std::make_unique<SimulatedBoard>();
        link = std::make_unique<USBHid2>(board->platform(), 10);
        BoardTraceCapture quiet;
        QCOMPARE(link->usb_hid_init(), 1);
        board->firmware().attachI2cDevice(0x50);
    }
    void cleanup()
    {
        link.reset();
        board.reset();
    }

    void commandBytesTraceAndResult_data();
    void commandBytesTraceAndResult();
    void reportDumpPlacement_data() { addEveryCommand(); }
    void reportDumpPlacement();
    void refusedCommandStoresStatus_data() { addEveryCommand(); }
    void refusedCommandStoresStatus();
    void missingAnswerLeavesStatusAlone_data() { addEveryCommand(); }
    void missingAnswerLeavesStatusAlone();
    void noDeviceOpen_data() { addEveryCommand(); }
    void noDeviceOpen();
    void stalledWriteStillReadsBack();
    void binaryAnswersArriveIntact_data();
    void binaryAnswersArriveIntact();
    void readPinBeyondEightReadsZero();
    void reportTailAndIdAlwaysZero();
    void probe_data();
    void probe();
    void probeWithoutSearch();

private:
    std::unique_ptr<SimulatedBoard> board;
    std::unique_ptr<USBHid2> link;
};

void TestUsbHid2::commandBytesTraceAndResult_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QList<int>>("args");
    QTest::addColumn<QByteArray>("report"); // bytes 0..8 as sent
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("trace");

    const QByteArray zero8 = "00 00 00 00 00 00 00 00 \n";
    QTest::newRow("init_controller")
        << int(InitController) << QList<int> {} << QByteArray("00 08 00 00 26 00 00 00 00") << 1
        << "init_controller\n" + zero8;
    QTest::newRow("spi_write reg 15 unencoded")
        << int(SpiWrite) << QList<int> { 15, 0x114 } << QByteArray("00 08 00 11 26 14 0F 00 00")
        << 1 << "spi_write\naddr =  0000000f\ndata =  00000014\n00 08 00 11 26 14 0F 00 \n" + zero8;
    QTest::newRow("spi_read reg 15")
        << int(SpiRead) << QList<int> { 15 } << QByteArray("00 08 00 22 26 00 DE 00 00") << 0x5A
        << QByteArray("spi_read\naddr =  0000001e\n00 08 00 22 26 00 DE 00 \n"
                      "5A 00 00 00 00 00 00 00 \nreturn data =  0000005a\n");
    QTest::newRow("spi_read reg 0")
        << int(SpiRead) << QList<int> { 0 } << QByteArray("00 08 00 22 26 00 C0 00 00") << 0x11
        << QByteArray("spi_read\naddr =  00000000\n00 08 00 22 26 00 C0 00 \n"
                      "11 00 00 00 00 00 00 00 \nreturn data =  00000011\n");
    QTest::newRow("spi_read 47 wraps to 15")
        << int(SpiRead) << QList<int> { 47 } << QByteArray("00 08 00 22 26 00 DE 00 00") << 0x5A
        << QByteArray("spi_read\naddr =  0000001e\n00 08 00 22 26 00 DE 00 \n"
                      "5A 00 00 00 00 00 00 00 \nreturn data =  0000005a\n");
    QTest::newRow("i2c_write")
        << int(I2cWrite) << QList<int> { 0x150, 0x110, 0x1AB }
        << QByteArray("00 08 00 10 26 AB 10 50 00") << 1
        << "i2c_write\naddr =  00000050\nreg addr =  00000010\ndata =  000000ab\n"
           "00 08 00 10 26 AB 10 50 \n"
            + zero8;
    QTest::newRow("i2c_read") << int(I2cRead) << QList<int> { 0x50, 0x20 }
                              << QByteArray("00 08 00 20 26 00 20 50 00") << 0x77
                              << QByteArray("i2c_read\naddr =  00000050\n00 08 00 20 26 00 20 50 \n"
                                            "77 00 00 00 00 00 00 00 \nreturn data =  00000077\n");
    QTest::newRow("measure channel 9 device 1")
        << int(Measure) << QList<int> { 9, 1 } << QByteArray("00 08 00 30 26 00 09 00 00") << 0x1234
        << QByteArray("measure\nchannel =  00000001\nADC device =  1\n00 08 00 30 26 00 09 00 00 \n"
                      "12 00 34 00 00 00 00 00 00 \ndata =  4660\n");
    QTest::newRow("read_pin set") << int(ReadPin) << QList<int> { 2, 3 }
                                  << QByteArray("00 08 00 38 26 00 00 02 02") << 1
                                  << QByteArray("read_pin\npingroup =  00000002\npin =  3\n"
                                                "00 08 00 38 26 00 00 02 02 \n"
                                                "08 00 00 00 00 00 00 00 02 \ndata =  1\n");
    QTest::newRow("read_pin clear")
        << int(ReadPin) << QList<int> { 2, 4 } << QByteArray("00 08 00 38 26 00 00 02 02") << 0
        << QByteArray("read_pin\npingroup =  00000002\npin =  4\n"
                      "00 08 00 38 26 00 00 02 02 \n"
                      "08 00 00 00 00 00 00 00 02 \ndata =  0\n");
    QTest::newRow("set_pin value 1")
        << int(SetPin) << QList<int> { 1, 6, 1 } << QByteArray("00 08 00 38 26 40 00 01 03") << 1
        << QByteArray("set_pin\nsetbits =  00000040\nclearbits =  00000000\n"
                      "pingroup =  00000001\n00 08 00 38 26 40 00 01 03 \n"
                      "00 00 00 00 00 00 00 00 03 \n");
    QTest::newRow("set_pin value 0")
        << int(SetPin) << QList<int> { 1, 6, 0 } << QByteArray("00 08 00 38 26 00 40 01 03") << 1
        << QByteArray("set_pin\nsetbits =  00000000\nclearbits =  00000040\n"
                      "pingroup =  00000001\n00 08 00 38 26 00 40 01 03 \n"
                      "00 00 00 00 00 00 00 00 03 \n");
    QTest::newRow("set_pin value 2 clears")
        << int(SetPin) << QList<int> { 1, 6, 2 } << QByteArray("00 08 00 38 26 00 40 01 03") << 1
        << QByteArray("set_pin\nsetbits =  00000000\nclearbits =  00000040\n"
                      "pingroup =  00000001\n00 08 00 38 26 00 40 01 03 \n"
                      "00 00 00 00 00 00 00 00 03 \n");
    QTest::newRow("set_pin_dir") << int(SetPinDir) << QList<int> { 2, 0, 1 }
                                 << QByteArray("00 08 00 38 26 01 00 02 01") << 1
                                 << QByteArray(
                                        "set_pin_dir\nsetbits =  00000001\nclearbits =  00000000\n"
                                        "pingroup =  00000002\n00 08 00 38 26 01 00 02 01 \n"
                                        "00 00 00 00 00 00 00 00 01 \n");
    QTest::newRow("set_pin pin 40 changes nothing")
        << int(SetPin) << QList<int> { 1, 40, 1 } << QByteArray("00 08 00 38 26 00 00 01 03") << 1
        << QByteArray("set_pin\nsetbits =  00000000\nclearbits =  00000000\npingroup =  00000001\n"
                      "00 08 00 38 26 00 00 01 03 \n00 00 00 00 00 00 00 00 03 \n");
}

void TestUsbHid2::commandBytesTraceAndResult()
{
    QFETCH(int, command);
    QFETCH(QList<int>, args);
    QFETCH(QByteArray, report);
    QFETCH(int, result);
    QFETCH(QByteArray, trace);

    BoardFirmware &firmware = board->firmware();
    firmware.setSpiRegister(15, 0x5A);
    firmware.setSpiRegister(0, 0x11);
    firmware.setI2cRegister(0x50, 0x20, 0x77);
    firmware.setAdcValue(1, 1, 0x1234);
    firmware.setPinInputs(2, 0x08);

    BoardTraceCapture capture;
    int status = 77;
    QCOMPARE(run(*link, Command(command), args, &status), result);
    QCOMPARE(status, 77);
    QCOMPARE(QByteArray::fromStdString(capture.text()), trace);
    QCOMPARE(board->reports().size(), std::size_t(1));
    QCOMPARE(hexBytes(board->reports().front().bytes.data(), 9), report);
}

void TestUsbHid2::reportDumpPlacement()
{
    QFETCH(int, command);
    QFETCH(QList<int>, args);
    board->setStallWrites(true);

    BoardTraceCapture capture;
    run(*link, Command(command), args, nullptr);
    const QList<QByteArray> lines = QByteArray::fromStdString(capture.text()).split('\n');
    const int timeout = int(lines.indexOf("write timed out"));
    QVERIFY(timeout > 0);
    const int dumpLength = command >= Measure ? 9 : 8;
    // A dump line is "XX " per byte.
    const auto isDump = [&](int at) { return at >= 0 && lines.value(at).size() == 3 * dumpLength; };
    const bool before = isDump(timeout - 1);
    const bool after = isDump(timeout + 1) && isDump(timeout + 2);
    switch (command) {
    case InitController:
        QVERIFY(!before && isDump(timeout + 1) && !isDump(timeout + 2));
        break;
    case ReadPin:
    case SetPin:
        QVERIFY(!before && after);
        break;
    default:
        QVERIFY(before && isDump(timeout + 1) && !isDump(timeout + 2));
    }
}

void TestUsbHid2::refusedCommandStoresStatus()
{
    QFETCH(int, command);
    QFETCH(QList<int>, args);
    board->planFault(1, SimulatedBoard::Fault::ErrorStatus, 0xD8);
    BoardTraceCapture capture;
    int status = 0;
    QCOMPARE(run(*link, Command(command), args, &status), failureValue(Command(command)));
    QCOMPARE(status, 0xD8);
    QVERIFY(capture.text().find("return data") == std::string::npos);
    // The same refusal with no status pointer must not fault.
    board->planFault(1, SimulatedBoard::Fault::ErrorStatus, 0x01);
    QCOMPARE(run(*link, Command(command), args, nullptr), failureValue(Command(command)));
}

void TestUsbHid2::missingAnswerLeavesStatusAlone()
{
    QFETCH(int, command);
    QFETCH(QList<int>, args);
    board->planFault(1, SimulatedBoard::Fault::NoAnswer);
    BoardTraceCapture capture;
    int status = 42;
    QCOMPARE(run(*link, Command(command), args, &status), failureValue(Command(command)));
    QCOMPARE(status, 42);
    // The answer dump still shows, holding the command as it went out.
    const std::uint8_t *sent = board->reports().back().bytes.data();
    const int dumpLength = command >= Measure ? 9 : 8;
    QVERIFY(QByteArray::fromStdString(capture.text()).endsWith(hexBytes(sent, dumpLength) + " \n"));
}

void TestUsbHid2::noDeviceOpen()
{
    QFETCH(int, command);
    QFETCH(QList<int>, args);
    USBHid2 unopened(board->platform(), 10);
    BoardTraceCapture capture;
    int status = 9;
    QCOMPARE(run(unopened, Command(command), args, &status), failureValue(Command(command)));
    QCOMPARE(status, 9);
    QVERIFY(capture.text().find("\nwrite error =  00000006\n") != std::string::npos);
    QCOMPARE(board->reports().size(), std::size_t(0));
}

void TestUsbHid2::stalledWriteStillReadsBack()
{
    BoardTraceCapture capture;
    QCOMPARE(link->spi_write(3, 0x21), 1);
    board->planFault(1, SimulatedBoard::Fault::StalledWrite);
    const int requests = board->stringRequestCount();
    capture.clear();
    // The write never arrived. The string still holds the previous answer, which is read back
    // and traced as ever, but cannot stand for this command's: the command fails, the status
    // pointer untouched.
    int status = 42;
    QCOMPARE(link->spi_write(4, 0x22, &status), 0);
    QCOMPARE(status, 42);
    QCOMPARE(link->reportsNotSent(), 1);
    QCOMPARE(board->stringRequestCount(), requests + 1);
    QCOMPARE(board->firmware().spiRegister(4), std::uint8_t(0));
    QCOMPARE(QByteArray::fromStdString(capture.text()),
        QByteArray("spi_write\naddr =  00000004\ndata =  00000022\n00 08 00 11 26 22 04 00 \n"
                   "write timed out\n00 00 00 00 00 00 00 00 \n"));
    QCOMPARE(board->reports().size(), std::size_t(1));
}

void TestUsbHid2::binaryAnswersArriveIntact_data()
{
    QTest::addColumn<int>("adcValue");
    QTest::newRow("zero") << 0x0000;
    QTest::newRow("high surrogate") << 0xD800;
    QTest::newRow("surrogates both") << 0xD8DF;
    QTest::newRow("low surrogate low byte") << 0x00DC;
    QTest::newRow("all ones") << 0xFFFF;
}

void TestUsbHid2::binaryAnswersArriveIntact()
{
    QFETCH(int, adcValue);
    board->firmware().setAdcValue(3, 5, std::uint16_t(adcValue));
    BoardTraceCapture capture;
    QCOMPARE(link->measure(5, 3), adcValue);
    board->firmware().setSpiRegister(7, std::uint8_t(adcValue >> 8));
    QCOMPARE(link->spi_read(7), adcValue >> 8);
}

void TestUsbHid2::readPinBeyondEightReadsZero()
{
    board->firmware().setPinInputs(1, 0xFF);
    BoardTraceCapture capture;
    for (int pin = 0; pin < 8; ++pin)
        QCOMPARE(link->read_pin(1, pin), 1);
    for (int pin = 8; pin < 32; ++pin)
        QCOMPARE(link->read_pin(1, pin), 0);
    QCOMPARE(link->read_pin(1, -1), 0);
}

void TestUsbHid2::reportTailAndIdAlwaysZero()
{
    BoardTraceCapture capture;
    link->measure(-1, -1);
    link->i2c_write(-1, -1, -1);
    link->set_pin(-1, 7, 1);
    link->spi_read(-1);
    link->init_controller();
    for (const SimulatedBoard::ReceivedReport &report : board->reports()) {
        QCOMPARE(report.bytes[0], std::uint8_t(0));
        for (std::size_t i = 9; i < report.bytes.size(); ++i)
            QCOMPARE(report.bytes[i], std::uint8_t(0));
    }
    // measure(-1, -1): channel 7, device bits all ones.
    QCOMPARE(board->reports().front().param(2), std::uint8_t(0xFF));
    QCOMPARE(board->reports().back().param(4), std::uint8_t(0));
}

void TestUsbHid2::probe_data()
{
    QTest::addColumn<int>("fault"); // -1: none
    QTest::addColumn<int>("expected");
    QTest::newRow("answers") << -1 << 1;
    QTest::newRow("no answer") << int(SimulatedBoard::Fault::NoAnswer) << 0;
    QTest::newRow("error status") << int(SimulatedBoard::Fault::ErrorStatus) << 0;
    QTest::newRow("unplugged") << int(SimulatedBoard::Fault::Unplug) << 0;
}

void TestUsbHid2::probe()
{
    QFETCH(int, fault);
    QFETCH(int, expected);
    if (fault >= 0)
        board->planFault(1, SimulatedBoard::Fault(fault));
    BoardTraceCapture capture;
    QTest::ignoreMessage(QtDebugMsg, "USBHid2::conn_status");
    if (!expected)
        QTest::ignoreMessage(QtDebugMsg, "mConn_status=0");
    QCOMPARE(link->conn_status(), expected);
    QCOMPARE(link->mConn_status, expected);
    QCOMPARE(board->reports().size(), fault == int(SimulatedBoard::Fault::Unplug) ? 0u : 1u);
    if (fault != int(SimulatedBoard::Fault::Unplug))
        QCOMPARE(board->reports().back().param(2), std::uint8_t(0xDE));

    // Once lowered, a good answer does not raise it again.
    board->clearFaultPlan();
    board->setPresent(true); // a new device: the old handle stays dead
    QTest::ignoreMessage(QtDebugMsg, "USBHid2::conn_status");
    if (fault == int(SimulatedBoard::Fault::Unplug))
        QTest::ignoreMessage(QtDebugMsg, "mConn_status=0");
    QCOMPARE(link->conn_status(), expected);
}

void TestUsbHid2::probeWithoutSearch()
{
    USBHid2 fresh(board->platform(), 10);
    BoardTraceCapture capture;
    QTest::ignoreMessage(QtDebugMsg, "USBHid2::conn_status");
    QTest::ignoreMessage(QtDebugMsg, "mConn_status=0");
    QCOMPARE(fresh.conn_status(), 0);
    QCOMPARE(QByteArray::fromStdString(capture.text()),
        QByteArray("spi_read\naddr =  0000001e\n00 08 00 22 26 00 DE 00 \n"
                   "write error =  00000006\n00 08 00 22 26 00 DE 00 \n"));
}

QTEST_GUILESS_MAIN(TestUsbHid2)
#include "tst_usbhid2.moc"
