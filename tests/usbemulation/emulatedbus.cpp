#include "emulatedbus.h"

#include "boardidentity.h"
#include "hidplatform.h"

#include <unistd.h>

#include <algorithm>

void prepareFirmware(BoardFirmware &firmware)
{
    firmware.attachI2cDevice(0x50);
    firmware.setI2cRegister(0x50, 0x20, 0x77);
    firmware.setSpiRegister(15, 0x5A);
    firmware.setAdcValue(1, 1, 0x1234);
    firmware.setPinInputs(2, 0x08);
}

QByteArray announcement(std::uint16_t vendorId, std::uint16_t productId)
{
    return QStringLiteral("Found USB device\nVID = 0x %1\nPID = 0x %2\n")
        .arg(vendorId, 8, 16, QLatin1Char('0'))
        .arg(productId, 8, 16, QLatin1Char('0'))
        .toLatin1();
}

QByteArray unopenableBoardMessage()
{
    return QString::asprintf("QD7310 board 0x%04x:0x%04x is present but cannot be opened: %s",
        kBoardVendorId, kBoardProductId, systemUnopenableAdvice())
        .toLatin1();
}

QByteArray boardInUseMessage()
{
    return QString::asprintf(
        "QD7310 board 0x%04x:0x%04x is in use by another program: close that program first",
        kBoardVendorId, kBoardProductId)
        .toLatin1();
}

QByteArray traceOf(const BoardTraceCapture &capture)
{
    return QByteArray::fromStdString(capture.text());
}

int countOf(const QList<UsbEvent> &events, UsbEvent::Kind kind)
{
    return int(std::count_if(
        events.begin(), events.end(), [kind](const UsbEvent &e) { return e.kind == kind; }));
}

QByteArray searchTrace(const QList<ListedDevice> &devices, const QString &inUse)
{
    QByteArray trace = "usb_hid_init\n";
    for (const ListedDevice &device : devices) {
        trace += announcement(device.vendorId, device.productId);
        if (device.vendorId == kBoardVendorId && device.productId == kBoardProductId
            && device.devnode != inUse)
            break;
    }
    return trace;
}

StderrCapture::StderrCapture() : mFile(std::tmpfile())
{
    std::fflush(stderr);
    if (mFile)
        mSaved = dup(STDERR_FILENO);
    if (mSaved >= 0)
        dup2(fileno(mFile), STDERR_FILENO);
}

StderrCapture::~StderrCapture()
{
    if (mSaved >= 0) {
        std::fflush(stderr);
        dup2(mSaved, STDERR_FILENO);
        ::close(mSaved);
    }
    if (mFile)
        std::fclose(mFile);
}

QByteArray StderrCapture::text() const
{
    if (!mFile)
        return {};
    std::fflush(stderr);
    QByteArray text;
    char chunk[256];
    std::rewind(mFile);
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, mFile)) > 0;)
        text.append(chunk, int(n));
    return text;
}
