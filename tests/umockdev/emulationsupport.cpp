#include "emulationsupport.h"

#include <QDir>

#include <libusb.h>
#include <sys/syscall.h>
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

QStringList libusbOrder()
{
    QStringList nodes;
    libusb_context *context = nullptr;
    if (libusb_init(&context) != LIBUSB_SUCCESS)
        return nodes;
    libusb_device **devices = nullptr;
    const ssize_t count = libusb_get_device_list(context, &devices);
    for (ssize_t i = 0; i < count; ++i) {
        nodes.append(QStringLiteral("/dev/bus/usb/%1/%2")
                         .arg(libusb_get_bus_number(devices[i]), 3, 10, QLatin1Char('0'))
                         .arg(libusb_get_device_address(devices[i]), 3, 10, QLatin1Char('0')));
    }
    if (devices)
        libusb_free_device_list(devices, 1);
    libusb_exit(context);
    return nodes;
}

QByteArray announcement(std::uint16_t vendorId, std::uint16_t productId)
{
    return QStringLiteral("Found USB device\nVID = 0x %1\nPID = 0x %2\n")
        .arg(vendorId, 8, 16, QLatin1Char('0'))
        .arg(productId, 8, 16, QLatin1Char('0'))
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

int openDescriptorCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

int openOnNode(const QString &devnode)
{
    // umockdev opens the node's file inside its testbed directory.
    int count = 0;
    const QFileInfoList descriptors
        = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System);
    for (const QFileInfo &descriptor : descriptors)
        if (descriptor.symLinkTarget().endsWith(devnode))
            ++count;
    return count;
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

FileModesEnforced::FileModesEnforced()
{
    if (syscall(SYS_capget, &mHeader, mSaved) != 0)
        return;
    __user_cap_data_struct reduced[2] = { mSaved[0], mSaved[1] };
    constexpr unsigned kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    reduced[0].effective &= ~kOverrides;
    mActive = syscall(SYS_capset, &mHeader, reduced) == 0;
}

FileModesEnforced::~FileModesEnforced()
{
    if (mActive)
        syscall(SYS_capset, &mHeader, mSaved);
}
