#include "boardidentity.h"
#include "emulationsupport.h"
#include "usbhid2.h"

#include <QtTest>

#include <algorithm>
#include <tuple>

// The platform layer finding, losing and releasing boards on an emulated bus: usbfs under umockdev
// on Linux, Wine's HID stack on Windows. Rows and steps with a device the bus cannot present are
// left out; what only usbfs shows (claiming, descriptors on the node) is checked only there.
class TestUsbEmulationDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QD7310_REQUIRE_EMULATED_BUS(); }
    void init() { bus = std::make_unique<EmulatedUsbBus>(); }
    void cleanup() { bus.reset(); }

    void followsPlatformOrder_data();
    void followsPlatformOrder();
    void vanishedBoardFailsCleanlyAndIsFoundAgain();
    void closingHandsTheInterfaceBack_data();
    void closingHandsTheInterfaceBack();
    void unopenableNodeSkippedSilently_data();
    void unopenableNodeSkippedSilently();
    void twoBoardsByLocation();

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

namespace {
bool presentable(const QList<UsbDeviceProfile> &devices)
{
    return std::all_of(devices.begin(), devices.end(),
        [](const UsbDeviceProfile &device) { return EmulatedUsbBus::presents(device.function); });
}
} // namespace

void TestUsbEmulationDiscovery::followsPlatformOrder_data()
{
    QTest::addColumn<QList<UsbDeviceProfile>>("devices"); // in plug-in order
    QTest::addColumn<bool>("boardFound");

    // On Windows the bus is never empty: Wine's own HID devices are listed too.
    const QList<std::tuple<const char *, QList<UsbDeviceProfile>, bool>> rows = {
        { "empty bus", {}, false },
        { "keyboard and look-alikes only", { kKeyboard, kOtherProduct, kOtherVendor }, false },
        { "board alone", { kBoard }, true },
        // Plugged in both orders, so the board is last in the platform's list one way or the other.
        { "board, keyboard, other product", { kBoard, kKeyboard, kOtherProduct }, true },
        { "other product, keyboard, board", { kOtherProduct, kKeyboard, kBoard }, true },
        { "board without OUT endpoint behind a keyboard", { kBoardWithoutOut, kKeyboard }, true },
        { "two boards", { kBoard, kKeyboard, kBoardWithoutOut }, true },
        { "two boards alike", { kBoard, kBoard }, true },
    };
    for (const auto &[name, devices, boardFound] : rows)
        if (presentable(devices))
            QTest::newRow(name) << devices << boardFound;
}

void TestUsbEmulationDiscovery::followsPlatformOrder()
{
    QFETCH(QList<UsbDeviceProfile>, devices);
    QFETCH(bool, boardFound);
    QStringList plugged;
    for (const UsbDeviceProfile &profile : devices)
        plugged.append(bus->plug(profile));

    // What the search must announce: every device in the platform's order up to the first board.
    const QList<ListedDevice> listed = bus->listedDevices();
    const QByteArray expected = searchTrace(listed);
    QString chosen;
    QStringList unopened;
    for (const ListedDevice &device : listed) {
        if (!chosen.isEmpty())
            unopened.append(device.devnode);
        else if (device.vendorId == kBoardVendorId && device.productId == kBoardProductId)
            chosen = device.devnode;
    }
    QCOMPARE(!chosen.isEmpty(), boardFound);

    USBHid2 link(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), chosen.isEmpty() ? 0 : 1);
    QCOMPARE(traceOf(capture), expected);
    QCOMPARE(link.mConn_status, chosen.isEmpty() ? 0 : 1);
    QCOMPARE(link.mDev_handle == kInvalidHidHandle, chosen.isEmpty());

    // The chosen board takes the command; everything else is left with its driver.
    link.spi_write(3, 0x21);
    link.usb_hid_init(); // a second search while connected reopens the same board
    link.spi_write(4, 0x22);
    for (const QString &node : plugged) {
        const QList<UsbEvent> events = bus->events(node);
        const bool isChosen = node == chosen;
        QCOMPARE(countOf(events, UsbEvent::InterruptOut) + countOf(events, UsbEvent::SetReport),
            isChosen ? 2 : 0);
#ifdef Q_OS_LINUX // usbfs only: the interface is claimed from its kernel driver for the exchange
        QVERIFY2(bus->ownedByKernelDriver(node) != isChosen, qPrintable(node));
        QCOMPARE(countOf(events, UsbEvent::DriverDetached), isChosen ? 2 : 0);
        QCOMPARE(countOf(events, UsbEvent::Claimed), isChosen ? 2 : 0);
        if (unopened.contains(node))
            QCOMPARE(countOf(events, UsbEvent::OpenAttempted), 0);
#endif
    }
}

void TestUsbEmulationDiscovery::vanishedBoardFailsCleanlyAndIsFoundAgain()
{
    if (EmulatedUsbBus::presents(UsbFunction::Keyboard))
        bus->plug(kKeyboard);
    const QString first = bus->plug(kBoard);
    prepareFirmware(bus->firmware(first));
    USBHid2 link(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    BoardTraceCapture capture;
    QCOMPARE(link.usb_hid_init(), 1);
    QCOMPARE(link.spi_write(3, 0x21), 1);
#ifdef Q_OS_LINUX // usbfs only: the descriptors open on the node can be told apart
    QCOMPARE(openOnNode(first), 1);
#endif

    bus->unplug(first);
    int status = -7;
    QCOMPARE(link.spi_write(3, 0x22, &status), 0);
    QCOMPARE(link.spi_read(15, &status), -1);
    QCOMPARE(link.measure(1, 1, &status), -1);
    QCOMPARE(link.init_controller(), 0);
    QCOMPARE(status, -7); // no answer is no status
    QCOMPARE(link.conn_status(), 0);
    QCOMPARE(link.mConn_status, 0);
    const QByteArray writeError = QByteArray::number(EmulatedUsbBus::kUnpluggedWriteError, 16);
    QVERIFY(
        traceOf(capture).contains("write error =  " + writeError.rightJustified(8, '0') + "\n"));

    // The next search lets go of the dead board and finds only what else is on the bus.
    capture.clear();
    QCOMPARE(link.usb_hid_init(), 0);
    QCOMPARE(traceOf(capture), searchTrace(bus->listedDevices()));
    QCOMPARE(link.mDev_handle, kInvalidHidHandle);
#ifdef Q_OS_LINUX
    QCOMPARE(openOnNode(first), 0);
#endif

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
    QTest::newRow("never written, claimed at the search") << kBoard << false;
}

void TestUsbEmulationDiscovery::closingHandsTheInterfaceBack()
{
#ifdef Q_OS_LINUX
    QFETCH(UsbDeviceProfile, board);
    QFETCH(bool, written);
    const QString node = bus->plug(board);
    const int idleDescriptors = openDescriptorCount();
    {
        auto link
            = std::make_unique<USBHid2>(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
        BoardTraceCapture capture;
        QCOMPARE(link->usb_hid_init(), 1);
        QVERIFY(!bus->ownedByKernelDriver(node));
        if (written)
            QCOMPARE(link->init_controller(), 1);
        bus->clearEvents();
        link.reset();
    }
    QVERIFY(bus->ownedByKernelDriver(node));
    const QList<UsbEvent> events = bus->events(node);
    QCOMPARE(countOf(events, UsbEvent::Released), 1);
    QCOMPARE(countOf(events, UsbEvent::DriverAttached), 1);
    QCOMPARE(events.at(0).kind, UsbEvent::Released);
    QCOMPARE(events.at(0).value, 1); // the HID interface, not interface 0
    // The device node and libusb's own descriptors are all closed again. The emulation's worker
    // thread may still be letting go of one of its own, so give it a moment.
    QCOMPARE(openOnNode(node), 0);
    QTRY_COMPARE(openDescriptorCount(), idleDescriptors);
#else
    QTest::qSkip("usbfs only: a HID device is opened, never claimed; tst_winebus counts handles",
        __FILE__, __LINE__);
#endif
}

void TestUsbEmulationDiscovery::unopenableNodeSkippedSilently_data()
{
    QTest::addColumn<UsbDeviceProfile>("denied");
    QTest::addColumn<bool>("boardOpenable");
    if (EmulatedUsbBus::presents(UsbFunction::Keyboard))
        QTest::newRow("keyboard ahead of the board") << kKeyboard << true;
    // Named on the debug channel without opening the node: from libusb's cached descriptor, or
    // from the attributes Windows gives a handle without access rights.
    QTest::newRow("the only board") << kBoard << false;
}

void TestUsbEmulationDiscovery::unopenableNodeSkippedSilently()
{
    QFETCH(UsbDeviceProfile, denied);
    QFETCH(bool, boardOpenable);
    // Plugged after the board, the denied node comes ahead of it in the platform's list.
    const QString board = boardOpenable ? bus->plug(kBoard) : QString();
    const QString deniedNode = bus->plug(denied);
    bus->denyAccess(deniedNode);
    QList<ListedDevice> openable = bus->listedDevices();
    const auto indexOf = [&openable](const QString &node) {
        return std::find_if(openable.begin(), openable.end(), [&node](const ListedDevice &device) {
            return device.devnode == node;
        }) - openable.begin();
    };
    if (boardOpenable)
        QVERIFY(indexOf(deniedNode) < indexOf(board));
    openable.removeAt(indexOf(deniedNode));
    const int found = boardOpenable ? 1 : 0;

    USBHid2 link(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    BoardTraceCapture capture;
    // QtTest takes the debug channel, so standard error below holds only what the system's HID
    // library says.
    if (!boardOpenable)
        QTest::ignoreMessage(QtDebugMsg, unopenableBoardMessage().constData());
    {
        StderrCapture stderrText;
        FileModesEnforced asUser;
        QCOMPARE(link.usb_hid_init(), found);
        QCOMPARE(stderrText.text(), QByteArray());
    }
    QCOMPARE(traceOf(capture), searchTrace(openable));
#ifdef Q_OS_LINUX
    // Openable, the keyboard would have been announced ahead of the board; nothing of it is held.
    QCOMPARE(openOnNode(deniedNode), 0);
    QVERIFY(bus->ownedByKernelDriver(deniedNode));
#endif
}

QTEST_GUILESS_MAIN(TestUsbEmulationDiscovery)
#include "tst_usbemulation_discovery.moc"

// Two boards on two ports, as on a bench: each link named to one reaches that one alone, and the
// two links, used in turn like two programs, never see each other's chip.
void TestUsbEmulationDiscovery::twoBoardsByLocation()
{
    const QString nodes[2] = { bus->plug(kBoard), bus->plug(kBoard) };
    QStringList boardOrder;
    for (const ListedDevice &device : bus->listedDevices())
        if (device.vendorId == kBoardVendorId && device.productId == kBoardProductId)
            boardOrder.append(device.devnode);

    BoardTraceCapture capture;
    USBHid2 lister(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
    const std::vector<BoardListing> listed = lister.listBoards();
    QCOMPARE(int(listed.size()), 2);
    QVERIFY(listed[0].openable && listed[0].answers && listed[1].openable && listed[1].answers);
    QVERIFY(listed[0].location != listed[1].location);
#ifdef Q_OS_LINUX // the kernel names a device after its bus and port (1-1, 1-2 in plug-in order)
    for (int i = 0; i < 2; ++i)
        QCOMPARE(QString::fromStdString(listed[std::size_t(i)].location),
            QStringLiteral("1-%1").arg(boardOrder.at(i) == nodes[0] ? 1 : 2));
#endif
    bus->clearEvents();

    std::unique_ptr<USBHid2> links[2];
    for (int i = 0; i < 2; ++i) {
        links[i]
            = std::make_unique<USBHid2>(createSystemHidPlatform(), EmulatedUsbBus::kWriteTimeoutMs);
        links[i]->setBoardLocation(listed[std::size_t(1 - i)].location); // the second one first
        QCOMPARE(links[i]->usb_hid_init(), 1);
    }
    QCOMPARE(links[0]->spi_write(3, 0x11), 1);
    QCOMPARE(links[1]->spi_write(3, 0x22), 1);
    QCOMPARE(links[0]->spi_read(3), 0x11);
    QCOMPARE(links[1]->spi_read(3), 0x22);
    for (int i = 0; i < 2; ++i) {
        const QString &node = boardOrder.at(1 - i);
        QCOMPARE(bus->firmware(node).spiRegister(3), std::uint8_t(i ? 0x22 : 0x11));
        QCOMPARE(countOf(bus->events(node), UsbEvent::InterruptOut), 2);
    }
}
