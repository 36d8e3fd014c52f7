#include "emulationsupport.h"
#include "winebusdevice.h"

#include <QtTest>

// The setup of the Wine bus suites: the test minidriver goes into this build's Wine prefix with
// the first board (instance 0000), once. Installing again finds the board there and does nothing.
class TestWineBusInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QD7310_REQUIRE_EMULATED_BUS(); }
    void driverInstalled()
    {
        const std::string failed = plugWineBoard(wineBoardInfBesideProgram(), L"0000");
        QVERIFY2(failed.empty(), failed.c_str());
    }
};

QTEST_GUILESS_MAIN(TestWineBusInstall)
#include "tst_winebus_install.moc"
