#include "boardtrace.h"
#include "simulatedboard.h"
#include "usbhid2.h"

#include <QtTest>

#include <cstdio>
#ifdef _WIN32
#include <windows.h>
#endif

namespace {
// Descriptors (on Windows, handles) this process holds; on other systems without /proc the
// count is 0 and the check is moot.
int openDescriptors()
{
#ifdef _WIN32
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? int(count) : 0;
#else
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                   .size());
#endif
}

constexpr int kSearches = 10000;
} // namespace

class TestBoardLeak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        mNull = std::fopen("/dev/null", "w");
        QVERIFY(mNull);
        BoardTrace::setFile(mNull);
    }
    void cleanupTestCase()
    {
        BoardTrace::setFile(nullptr);
        std::fclose(mNull);
    }

    void simulatedSearches_data()
    {
        QTest::addColumn<bool>("present");
        QTest::newRow("board present") << true;
        QTest::newRow("board absent") << false;
    }
    void simulatedSearches()
    {
        QFETCH(bool, present);
        SimulatedBoard board;
        board.addDeviceBefore({ 0x046D, 0xC52B, true, true });
        board.addDeviceBefore({ 0x046D, 0xC52C, false, true });
        board.setPresent(present);
        USBHid2 link(board.platform(), 10);
        const int descriptors = openDescriptors();
        for (int i = 0; i < kSearches; ++i)
            QCOMPARE(link.usb_hid_init(), present ? 1 : 0);
        QCOMPARE(board.openHandleCount(), present ? 1 : 0);
        QCOMPARE(openDescriptors(), descriptors);
    }

    // The real platform layer; on a machine without USB it finds nothing, which still exercises
    // its set-up and tear-down on every search.
    void systemSearches()
    {
        USBHid2 link;
        link.usb_hid_init(); // lets a lazily started HID layer settle its own descriptors
        const int descriptors = openDescriptors();
        for (int i = 0; i < kSearches; ++i)
            link.usb_hid_init();
        QCOMPARE(openDescriptors(), descriptors);
    }

private:
    std::FILE *mNull = nullptr;
};

QTEST_GUILESS_MAIN(TestBoardLeak)
#include "tst_boardleak.moc"
