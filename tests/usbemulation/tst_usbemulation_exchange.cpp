#include "boardidentity.h"
#include "emulationsupport.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QtTest>

#include <functional>

namespace {

using Command = std::function<int(USBHid2 &, int *)>;

struct CommandCase
{
    const char *name;
    Command run;
    const char *block; // report bytes 1..8; bytes 9..16 go out as zeros
};

// One call of every command, with arguments that exercise its encoding.
const CommandCase kCommands[] = {
    { "init_controller", [](USBHid2 &l, int *) { return l.init_controller(); },
        "08 00 00 26 00 00 00 00" },
    { "i2c_write", [](USBHid2 &l, int *s) { return l.i2c_write(0x150, 0x10, 0x1AB, s); },
        "08 00 10 26 ab 10 50 00" },
    { "spi_write", [](USBHid2 &l, int *s) { return l.spi_write(15, 0x114, s); },
        "08 00 11 26 14 0f 00 00" },
    { "i2c_read", [](USBHid2 &l, int *s) { return l.i2c_read(0x50, 0x20, s); },
        "08 00 20 26 00 20 50 00" },
    { "spi_read", [](USBHid2 &l, int *s) { return l.spi_read(47, s); }, "08 00 22 26 00 de 00 00" },
    { "measure", [](USBHid2 &l, int *s) { return l.measure(9, 1, s); }, "08 00 30 26 00 09 00 00" },
    { "read_pin", [](USBHid2 &l, int *s) { return l.read_pin(2, 3, s); },
        "08 00 38 26 00 00 02 02" },
    { "set_pin_dir", [](USBHid2 &l, int *s) { return l.set_pin_dir(2, 0, 1, s); },
        "08 00 38 26 01 00 02 01" },
    { "set_pin", [](USBHid2 &l, int *s) { return l.set_pin(1, 6, 2, s); },
        "08 00 38 26 00 40 01 03" },
};

const CommandCase &commandNamed(const QByteArray &name)
{
    for (const CommandCase &command : kCommands)
        if (name == command.name)
            return command;
    qFatal("no command %s", name.constData());
}

QList<UsbEvent> reportsOf(const QList<UsbEvent> &events)
{
    QList<UsbEvent> reports;
    for (const UsbEvent &event : events)
        if (event.kind == UsbEvent::InterruptOut || event.kind == UsbEvent::SetReport)
            reports.append(event);
    return reports;
}

} // namespace

Q_DECLARE_METATYPE(UsbFunction)

// The exchange of the platform layer with boards emulated at the system's interface: usbfs ioctls
// on Linux, Wine's HID stack on Windows. Rows of a function the bus cannot present are left out.
class TestUsbEmulationExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QD7310_REQUIRE_EMULATED_BUS(); }
    void init() { bus = std::make_unique<EmulatedUsbBus>(); }
    void cleanup() { bus.reset(); }

    void commandsCrossTheWireExactly_data();
    void commandsCrossTheWireExactly();
    void binaryAnswersComeBackRaw_data();
    void binaryAnswersComeBackRaw();
    void stalledWriteIsCancelled_data();
    void stalledWriteIsCancelled();
    void truncatedTransfersAreFailures_data();
    void truncatedTransfersAreFailures();

private:
    std::unique_ptr<EmulatedUsbBus> bus;
};

void TestUsbEmulationExchange::commandsCrossTheWireExactly_data()
{
    QTest::addColumn<UsbFunction>("function");
    QTest::addColumn<QByteArray>("command");
    for (const CommandCase &command : kCommands) {
        QTest::addRow("%s, interrupt OUT", command.name)
            << UsbFunction::Board << QByteArray(command.name);
        if (EmulatedUsbBus::presents(UsbFunction::BoardWithoutOutEndpoint))
            QTest::addRow("%s, SET_REPORT", command.name)
                << UsbFunction::BoardWithoutOutEndpoint << QByteArray(command.name);
    }
}

void TestUsbEmulationExchange::commandsCrossTheWireExactly()
{
    QFETCH(UsbFunction, function);
    QFETCH(QByteArray, command);
    const CommandCase &which = commandNamed(command);
    const QString node = bus->plug({ function, kBoardVendorId, kBoardProductId });
    prepareFirmware(bus->firmware(node));
    USBHid2 link(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1);
    bus->clearEvents();
    capture.clear();
    int status = -7;
    const int result = which.run(link, &status);
    const QByteArray trace = traceOf(capture);

    const QList<UsbEvent> events = bus->events(node);
    const QList<UsbEvent> reports = reportsOf(events);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.at(0).data.toHex(' '),
        (QByteArray::fromHex(which.block) + QByteArray(8, '\0')).toHex(' '));
    if (function == UsbFunction::Board) {
        QCOMPARE(reports.at(0).kind, UsbEvent::InterruptOut);
    } else {
        QCOMPARE(reports.at(0).kind, UsbEvent::SetReport);
        QCOMPARE(reports.at(0).value, 0x0200); // an Output report without report ID
    }
    // The answer is string 244 in the board's first language, asked for after the report.
    QCOMPARE(events.last().kind, UsbEvent::StringRequest);
    QCOMPARE(events.last().value, 244);
    QCOMPARE(events.last().language, EmulatedUsbBus::kAnswerLanguage);

    // The simulated board, answering from the same firmware, sees and says the same.
    SimulatedBoard simulated;
    prepareFirmware(simulated.firmware());
    USBHid2 simulatedLink(simulated.platform(), 50);
    capture.clear();
    QCOMPARE(simulatedLink.usb_hid_init(), 1);
    capture.clear();
    int simulatedStatus = -7;
    QCOMPARE(which.run(simulatedLink, &simulatedStatus), result);
    QCOMPARE(traceOf(capture), trace);
    QCOMPARE(simulatedStatus, status);
    QCOMPARE(simulated.reports().size(), std::size_t(1));
    const auto &sent = simulated.reports().front().bytes;
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(sent.data()) + 1, 16), reports.at(0).data);
    QCOMPARE(link.reportBuffer(), simulatedLink.reportBuffer());
}

void TestUsbEmulationExchange::binaryAnswersComeBackRaw_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("adcValue"); // device 1, channel 1
    QTest::addColumn<int>("refusal"); // status the board answers with, 0 for none
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answerDump");

    // A 0x0000 code unit ahead of the data must not end the string.
    QTest::newRow("measure 0x0034: units 0x0000, 0x0034") << QByteArray(
        "measure") << 0x0034 << 0 << 0x34 << -7 << QByteArray("00 00 34 00 00 00 00 00 00 ");
    QTest::newRow("measure 0x0000: all units zero") << QByteArray(
        "measure") << 0x0000 << 0 << 0 << -7 << QByteArray("00 00 00 00 00 00 00 00 00 ");
    QTest::newRow("measure 0xD8DF") << QByteArray("measure") << 0xD8DF << 0 << 0xD8DF << -7
                                    << QByteArray("D8 00 DF 00 00 00 00 00 00 ");
    // A status of 0xD8..0xDF makes the first code unit a lone surrogate.
    QTest::newRow("status 0xD8: high surrogate")
        << QByteArray("measure") << 0x1234 << 0xD8 << -1 << 0xD8
        << QByteArray("00 D8 00 00 00 00 00 00 00 ");
    QTest::newRow("status 0xDC: low surrogate") << QByteArray("spi_read") << 0 << 0xDC << -1 << 0xDC
                                                << QByteArray("00 DC 00 00 00 00 00 00 ");
    QTest::newRow("status 0xDF on a write") << QByteArray("spi_write") << 0 << 0xDF << 0 << 0xDF
                                            << QByteArray("00 DF 00 00 00 00 00 00 ");
}

void TestUsbEmulationExchange::binaryAnswersComeBackRaw()
{
    QFETCH(QByteArray, command);
    QFETCH(int, adcValue);
    QFETCH(int, refusal);
    QFETCH(int, result);
    QFETCH(int, status);
    QFETCH(QByteArray, answerDump);
    const QString node = bus->plug({ UsbFunction::Board, kBoardVendorId, kBoardProductId });
    BoardFirmware &firmware = bus->firmware(node);
    firmware.setAdcValue(1, 1, std::uint16_t(adcValue));
    if (refusal)
        for (int code : { 0x11, 0x22, 0x30 })
            firmware.setCommandStatus(code, std::uint8_t(refusal));

    USBHid2 link(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1);
    capture.clear();
    int received = -7;
    QCOMPARE(commandNamed(command).run(link, &received), result);
    QCOMPARE(received, status);
    QVERIFY2(traceOf(capture).contains("\n" + answerDump + "\n"), traceOf(capture).constData());
}

void TestUsbEmulationExchange::stalledWriteIsCancelled_data()
{
    QTest::addColumn<UsbFunction>("function");
    QTest::addColumn<bool>("defaultTimeout");
    QTest::newRow("interrupt OUT") << UsbFunction::Board << false;
    if (EmulatedUsbBus::presents(UsbFunction::BoardWithoutOutEndpoint))
        QTest::newRow("SET_REPORT") << UsbFunction::BoardWithoutOutEndpoint << false;
    QTest::newRow("interrupt OUT, the link's own time-out") << UsbFunction::Board << true;
}

void TestUsbEmulationExchange::stalledWriteIsCancelled()
{
    QFETCH(UsbFunction, function);
    QFETCH(bool, defaultTimeout);
    const QString node = bus->plug({ function, kBoardVendorId, kBoardProductId });
    prepareFirmware(bus->firmware(node));
    auto link = defaultTimeout
        ? std::make_unique<USBHid2>()
        : std::make_unique<USBHid2>(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    BoardTraceCapture capture;
    QCOMPARE(link->usb_hid_init(), 1);
    QCOMPARE(link->spi_write(3, 0x21), 1);

    bus->setStallWrites(node, true);
    bus->clearEvents();
    capture.clear();
    // The string still holds the answer to the previous command: it is asked for and traced,
    // but the command fails.
    QCOMPARE(link->spi_write(4, 0x22), 0);
    QCOMPARE(traceOf(capture),
        QByteArray("spi_write\naddr =  00000004\ndata =  00000022\n00 08 00 11 26 22 04 00 \n"
                   "write timed out\n00 00 00 00 00 00 00 00 \n"));
    const QList<UsbEvent> events = bus->events(node);
    QCOMPARE(reportsOf(events).size(), 0);
    QCOMPARE(countOf(events, UsbEvent::Discarded), 1);
    QCOMPARE(events.last().kind, UsbEvent::StringRequest);
    QCOMPARE(bus->firmware(node).spiRegister(4), std::uint8_t(0));

    // The cancelled transfer is gone for good: the next write goes through.
    bus->setStallWrites(node, false);
    QCOMPARE(link->spi_write(5, 0x23), 1);
    QCOMPARE(bus->firmware(node).spiRegister(5), std::uint8_t(0x23));
    QCOMPARE(reportsOf(bus->events(node)).size(), 1);
}

QTEST_GUILESS_MAIN(TestUsbEmulationExchange)
#include "tst_usbemulation_exchange.moc"

void TestUsbEmulationExchange::truncatedTransfersAreFailures_data()
{
    QTest::addColumn<UsbFunction>("function");
    QTest::newRow("interrupt OUT") << UsbFunction::Board;
    if (EmulatedUsbBus::presents(UsbFunction::BoardWithoutOutEndpoint))
        QTest::newRow("SET_REPORT") << UsbFunction::BoardWithoutOutEndpoint;
}

void TestUsbEmulationExchange::truncatedTransfersAreFailures()
{
    QFETCH(UsbFunction, function);
    const QString node = bus->plug({ function, kBoardVendorId, kBoardProductId });
    bus->firmware(node).setSpiRegister(15, 0x3C);
    USBHid2 link(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1);

    // A report that reaches the board one byte short is an I/O error, not a completed write.
    bus->setShortWrites(node, true);
    capture.clear();
    link.spi_read(15);
    QVERIFY(traceOf(capture).contains("write error =  0000045d\n"));
    bus->setShortWrites(node, false);

    // An answer string without even its header is no answer: the read fails, and the status
    // pointer is left alone.
    bus->setHeaderlessAnswers(node, true);
    int status = -7;
    QCOMPARE(link.spi_read(15, &status), -1);
    QCOMPARE(status, -7);
    QCOMPARE(link.conn_status(), 0);

    bus->setHeaderlessAnswers(node, false);
    QCOMPARE(link.usb_hid_init(), 1);
    QCOMPARE(link.spi_read(15), 0x3C);
}
