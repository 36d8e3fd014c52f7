#include "emulationsupport.h"

#include <QDir>

#include <libusb.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

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
