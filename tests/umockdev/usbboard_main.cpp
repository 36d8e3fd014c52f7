#include "boardidentity.h"
#include "emulatedusbbus.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

// Runs a program with the evaluation board emulated at the kernel interface, so that the Linux
// build's start-up trace with a board can be set beside the Windows one:
//     LD_PRELOAD=libumockdev-preload.so.0 qd7310-usbboard PROGRAM [ARGUMENT...]
// The board answers from a fresh BoardFirmware; the program inherits the testbed and the preload
// library, its output goes where this program's does, and its exit status is this program's.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: qd7310-usbboard PROGRAM [ARGUMENT...]\n");
        return 64;
    }
    if (!EmulatedUsbBus::preloadActive()) {
        std::fprintf(stderr, "qd7310-usbboard: run it with umockdev's preload library\n");
        return 1;
    }
    EmulatedUsbBus bus;
    bus.plug({ UsbFunction::Board, kBoardVendorId, kBoardProductId });
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setInputChannelMode(QProcess::ForwardedInputChannel);
    program.start(arguments.takeFirst(), arguments);
    if (!program.waitForStarted() || !program.waitForFinished(-1))
        return 1;
    return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : 1;
}
