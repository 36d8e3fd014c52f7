#include "boardidentity.h"
#include "boardtrace.h"
#include "emulatedusbbus.h"
#include "usbhid2.h"

#include <QtTest>

class TestUsbEmulation : public QObject
{
    Q_OBJECT

private slots:
    void smoke()
    {
        EmulatedUsbBus bus;
        QVERIFY(EmulatedUsbBus::preloadActive());
        const QString keyboard = bus.plug({ UsbFunction::Keyboard, 0x046d, 0xc31c });
        const QString other = bus.plug({ UsbFunction::Board, kBoardVendorId, 0x0777 });
        const QString board = bus.plug({ UsbFunction::Board, kBoardVendorId, kBoardProductId });
        {
            USBHid2 link(createSystemHidPlatform(), 50);
            BoardTraceCapture trace;
            QCOMPARE(link.usb_hid_init(), 1);
            QCOMPARE(link.spi_write(15, 0x14), 1);
            QCOMPARE(link.spi_read(15), 0x14);
            qDebug().noquote() << QString::fromStdString(trace.text());
        }
        for (const UsbEvent &e : bus.events())
            qDebug() << e.devnode << e.kind << e.value << e.language << e.data.toHex(' ');
    }
};

QTEST_GUILESS_MAIN(TestUsbEmulation)
#include "tst_usbemulation.moc"
