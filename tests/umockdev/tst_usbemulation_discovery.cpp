#include "boardidentity.h"
#include "emulationsupport.h"
#include "usbhid2.h"

#include <QtTest>

// The libusb platform layer finding, losing and releasing boards on an emulated bus.
class TestUsbEmulationDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!EmulatedUsbBus::preloadActive())
            QFAIL(
                "umockdev's preload library is not loaded: run through ctest or umockdev-wrapper");
    }
    void init() { bus = std::make_unique<EmulatedUsbBus>(); }
    void cleanup() { bus.reset(); }

    void followsLibusbOrder_data();
    void followsLibusbOrder();
    void vanishedBoardFailsCleanlyAndIsFoundAgain();
    void closingHandsTheInterfaceBack_data();
    void closingHandsTheInterfaceBack();
    void unopenableNodeSkippedSilently_data();
    void unopenableNodeSkippedSilently();

private:
    std::unique_ptr<EmulatedUsbBus> bus;
};

namespace {
const UsbDeviceProfile kBoard { UsbFunction::Board, kBoardVendorId, kBoardProductId };
const UsbDeviceProfile kBoardWithoutOut { UsbFunction::BoardWithoutOutEndpoint, kBoardVendorId,
    kBoardProductId };
const UsbDeviceProfile kKeyboard { UsbFunction::Keyboard, 0x046d, 0xc31c };
const UsbDeviceProfile kOtherProduct { UsbFunction::Board, kBoardVendorId,
    std::uint16_t(kBoardProductId ^ 0x0100) };
const UsbDeviceProfile kOtherVendor { UsbFunction::Board, std::uint16_t(kBoardVendorId ^ 0x0100),
    kBoardProductId };
} // namespace

Q_DECLARE_METATYPE(UsbDeviceProfile)

void TestUsbEmulationDiscovery::followsLibusbOrder_data()
{
    QTest::addColumn<QList<UsbDeviceProfile>>("devices"); // in plug-in order
    QTest::addColumn<bool>("boardFound");

    QTest::newRow("empty bus") << QList<UsbDeviceProfile> {} << false;
    QTest::newRow("keyboard and look-alikes only")
        << QList<UsbDeviceProfile> { kKeyboard, kOtherProduct, kOtherVendor } << false;
    // Plugged in both orders, so the board is last in libusb's list one way or the other.
    QTest::newRow("board, keyboard, other product")
        << QList<UsbDeviceProfile> { kBoard, kKeyboard, kOtherProduct } << true;
    QTest::newRow("other product, keyboard, board")
        << QList<UsbDeviceProfile> { kOtherProduct, kKeyboard, kBoard } << true;
    QTest::newRow("board without OUT endpoint behind a keyboard")
        << QList<UsbDeviceProfile> { kBoardWithoutOut, kKeyboard } << true;
    QTest::newRow("two boards") << QList<UsbDeviceProfile> { kBoard, kKeyboard, kBoardWithoutOut }
                                << true;
}

void TestUsbEmulationDiscovery::followsLibusbOrder()
{
    QFETCH(QList<UsbDeviceProfile>, devices);
    QFETCH(bool, boardFound);
    QMap<QString, UsbDeviceProfile> specs;
    for (const UsbDeviceProfile &profile : devices)
        specs.insert(bus->plug(profile), profile);

    // What the search must announce: every device in libusb's order up to the first board.
    QByteArray expected = "usb_hid_init\n";
    QString chosen;
    QStringList unopened;
    for (const QString &node : libusbOrder()) {
        if (!specs.contains(node))
            continue; // the root hub carries no HID interface
        const UsbDeviceProfile profile = specs.value(node);
        if (!chosen.isEmpty()) {
            unopened.append(node);
            continue;
        }
        expected += announcement(profile.vendorId, profile.productId);
        if (profile.vendorId == kBoardVendorId && profile.productId == kBoardProductId)
            chosen = node;
    }
    QCOMPARE(!chosen.isEmpty(), boardFound);

    USBHid2 link(createSystemHidPlatform(), 50);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), chosen.isEmpty() ? 0 : 1);
    QCOMPARE(traceOf(capture), expected);
    QCOMPARE(link.mConn_status, chosen.isEmpty() ? 0 : 1);
    QCOMPARE(link.mDev_handle == kInvalidHidHandle, chosen.isEmpty());

    // The chosen board takes the command; everything else is left with its driver.
    link.spi_write(3, 0x21);
    link.usb_hid_init(); // a second search while connected reopens the same board
    link.spi_write(4, 0x22);
    for (auto device = specs.cbegin(); device != specs.cend(); ++device) {
        const QList<UsbEvent> events = bus->events(device.key());
        const bool isChosen = device.key() == chosen;
        QVERIFY2(bus->ownedByKernelDriver(device.key()) != isChosen, qPrintable(device.key()));
        QCOMPARE(countOf(events, UsbEvent::DriverDetached), isChosen ? 2 : 0);
        QCOMPARE(countOf(events, UsbEvent::Claimed), isChosen ? 2 : 0);
        QCOMPARE(countOf(events, UsbEvent::InterruptOut) + countOf(events, UsbEvent::SetReport),
            isChosen ? 2 : 0);
        if (unopened.contains(device.key()))
            QCOMPARE(countOf(events, UsbEvent::OpenAttempted), 0);
    }
}

void TestUsbEmulationDiscovery::vanishedBoardFailsCleanlyAndIsFoundAgain()
{
    bus->plug(kKeyboard);
    const QString first = bus->plug(kBoard);
    prepareFirmware(bus->firmware(first));
    USBHid2 link(createSystemHidPlatform(), 50);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1);
    QCOMPARE(link.spi_write(3, 0x21), 1);
    QCOMPARE(openOnNode(first), 1);

    bus->unplug(first);
    int status = -7;
    QCOMPARE(link.spi_write(3, 0x22, &status), 0);
    QCOMPARE(link.spi_read(15, &status), -1);
    QCOMPARE(link.measure(1, 1, &status), -1);
    QCOMPARE(link.init_controller(), 0);
    QCOMPARE(status, -7); // no answer is no status
    QCOMPARE(link.conn_status(), 0);
    QCOMPARE(link.mConn_status, 0);
    QVERIFY(traceOf(capture).contains("write error =  0000048f\n")); // device not connected

    // The next search lets go of the dead board and finds only the keyboard.
    capture.clear();
    QCOMPARE(link.usb_hid_init(), 0);
    QCOMPARE(traceOf(capture), "usb_hid_init\n" + announcement(0x046d, 0xc31c));
    QCOMPARE(link.mDev_handle, kInvalidHidHandle);
    QCOMPARE(openOnNode(first), 0);

    // Plugged in again it is a new device at a new address, powered up afresh.
    const QString second = bus->plug(kBoard);
    QVERIFY(second != first);
    bus->firmware(second).setSpiRegister(15, 0x3C);
    QCOMPARE(link.usb_hid_init(), 1);
    QCOMPARE(link.spi_read(15), 0x3C);
    QCOMPARE(link.conn_status(), 1);
    QCOMPARE(countOf(bus->events(second), UsbEvent::InterruptOut), 2);
}

void TestUsbEmulationDiscovery::closingHandsTheInterfaceBack_data()
{
    QTest::addColumn<UsbDeviceProfile>("board");
    QTest::addColumn<bool>("written");
    QTest::newRow("interrupt OUT") << kBoard << true;
    QTest::newRow("SET_REPORT") << kBoardWithoutOut << true;
    QTest::newRow("never written, never claimed") << kBoard << false;
}

void TestUsbEmulationDiscovery::closingHandsTheInterfaceBack()
{
    QFETCH(UsbDeviceProfile, board);
    QFETCH(bool, written);
    const QString node = bus->plug(board);
    const int idleDescriptors = openDescriptorCount();
    {
        auto link = std::make_unique<USBHid2>(createSystemHidPlatform(), 50);
        BoardTraceCapture capture;
        QCOMPARE(link->usb_hid_init(), 1);
        if (written) {
            QCOMPARE(link->init_controller(), 1);
            QVERIFY(!bus->ownedByKernelDriver(node));
        }
        bus->clearEvents();
        link.reset();
    }
    QVERIFY(bus->ownedByKernelDriver(node));
    const QList<UsbEvent> events = bus->events(node);
    QCOMPARE(countOf(events, UsbEvent::Released), written ? 1 : 0);
    QCOMPARE(countOf(events, UsbEvent::DriverAttached), written ? 1 : 0);
    if (written) {
        QCOMPARE(events.at(0).kind, UsbEvent::Released);
        QCOMPARE(events.at(0).value, 1); // the HID interface, not interface 0
    }
    // The device node and libusb's own descriptors are all closed again. The emulation's worker
    // thread may still be letting go of one of its own, so give it a moment.
    QCOMPARE(openOnNode(node), 0);
    QTRY_COMPARE(openDescriptorCount(), idleDescriptors);
}

void TestUsbEmulationDiscovery::unopenableNodeSkippedSilently_data()
{
    QTest::addColumn<UsbDeviceProfile>("denied");
    QTest::addColumn<bool>("boardOpenable");
    QTest::newRow("keyboard ahead of the board") << kKeyboard << true;
    // Named on the debug channel from libusb's cached descriptor, without opening the node.
    QTest::newRow("the only board") << kBoard << false;
}

void TestUsbEmulationDiscovery::unopenableNodeSkippedSilently()
{
    QFETCH(UsbDeviceProfile, denied);
    QFETCH(bool, boardOpenable);
    // Plugged after the board, the denied node comes ahead of it in libusb's list.
    const QString board = boardOpenable ? bus->plug(kBoard) : QString();
    const QString deniedNode = bus->plug(denied);
    bus->denyAccess(deniedNode);
    if (boardOpenable)
        QVERIFY(libusbOrder().indexOf(deniedNode) < libusbOrder().indexOf(board));
    const int found = boardOpenable ? 1 : 0;

    USBHid2 link(createSystemHidPlatform(), 50);
    BoardTraceCapture capture;
    // QtTest takes the debug channel, so standard error below holds only what libusb says.
    if (!boardOpenable)
        QTest::ignoreMessage(QtDebugMsg,
            qPrintable(QString::asprintf("QD7310 board 0x%04x:0x%04x is present but cannot be "
                                         "opened: install the qd7310-eval package or its udev "
                                         "rule, then replug the board",
                kBoardVendorId, kBoardProductId)));
    {
        StderrCapture stderrText;
        FileModesEnforced asUser;
        QCOMPARE(link.usb_hid_init(), found);
        QCOMPARE(stderrText.text(), QByteArray());
    }
    QCOMPARE(traceOf(capture),
        "usb_hid_init\n" + (found ? announcement(kBoardVendorId, kBoardProductId) : QByteArray()));
    // Openable, the keyboard would have been announced ahead of the board; nothing of it is held.
    QCOMPARE(openOnNode(deniedNode), 0);
    QVERIFY(bus->ownedByKernelDriver(deniedNode));
}

QTEST_GUILESS_MAIN(TestUsbEmulationDiscovery)
#include "tst_usbemulation_discovery.moc"
