#pragma once

#include "emulatedusbbus.h"

#include <QByteArray>

// The HID interface's number: the boards carry a vendor interface ahead of it, so a host that
// claims or addresses interface 0 by habit writes to the wrong one.
int hidInterfaceNumber(UsbFunction function);

// The device descriptor followed by the configuration descriptor with everything it holds, as the
// kernel presents them in sysfs ("descriptors").
QByteArray deviceDescriptors(const UsbDeviceProfile &profile);
QByteArray rootHubDescriptors();

// String descriptor 0: the language IDs. The first is not US English, so a host that asks in the
// first listed language is told apart from one that assumes 0x0409.
QByteArray languageDescriptor();
constexpr int kFirstLanguage = 0x0407;
// A string descriptor around raw contents.
QByteArray stringDescriptor(const QByteArray &contents);
