#include "usbdescriptors.h"

namespace {

void addWord(QByteArray &bytes, int word)
{
    bytes.append(char(word & 0xFF));
    bytes.append(char((word >> 8) & 0xFF));
}

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int value : values)
        bytes.append(char(value));
    return bytes;
}

QByteArray device(int deviceClass, int vendorId, int productId)
{
    QByteArray bytes = bytesOf({ 18, 0x01, 0x00, 0x02, deviceClass, 0x00, 0x00, 64 });
    addWord(bytes, vendorId);
    addWord(bytes, productId);
    bytes += bytesOf({ 0x00, 0x01, 1, 2, 0, 1 });
    return bytes;
}

QByteArray configuration(int interfaceCount, const QByteArray &contents)
{
    QByteArray bytes = bytesOf({ 9, 0x02 });
    addWord(bytes, 9 + contents.size());
    bytes += bytesOf({ interfaceCount, 1, 0, 0x80, 50 });
    return bytes + contents;
}

QByteArray interface(int number, int endpoints, int cls, int subclass, int protocol)
{
    return bytesOf({ 9, 0x04, number, 0, endpoints, cls, subclass, protocol, 0 });
}

QByteArray hidClass(int reportDescriptorLength)
{
    QByteArray bytes = bytesOf({ 9, 0x21, 0x11, 0x01, 0, 1, 0x22 });
    addWord(bytes, reportDescriptorLength);
    return bytes;
}

QByteArray interruptEndpoint(int address, int maxPacket)
{
    QByteArray bytes = bytesOf({ 7, 0x05, address, 0x03 });
    addWord(bytes, maxPacket);
    bytes.append(char(1));
    return bytes;
}

} // namespace

int hidInterfaceNumber(UsbFunction function)
{
    return function == UsbFunction::Keyboard ? 0 : 1;
}

QByteArray deviceDescriptors(const UsbDeviceProfile &profile)
{
    const QByteArray head = device(0x00, profile.vendorId, profile.productId);
    if (profile.function == UsbFunction::Keyboard) {
        return head
            + configuration(
                1, interface(0, 1, 0x03, 0x01, 0x01) + hidClass(63) + interruptEndpoint(0x81, 8));
    }
    const bool withOut = profile.function == UsbFunction::Board;
    QByteArray hid = interface(1, withOut ? 2 : 1, 0x03, 0x00, 0x00) + hidClass(34)
        + interruptEndpoint(0x82, 16);
    if (withOut)
        hid += interruptEndpoint(0x02, 16);
    return head + configuration(2, interface(0, 0, 0xFF, 0x00, 0x00) + hid);
}

QByteArray rootHubDescriptors()
{
    return device(0x09, 0x1d6b, 0x0002)
        + configuration(1, interface(0, 1, 0x09, 0x00, 0x00) + interruptEndpoint(0x81, 4));
}

QByteArray languageDescriptor()
{
    QByteArray contents;
    addWord(contents, kFirstLanguage);
    addWord(contents, 0x0409);
    return stringDescriptor(contents);
}

QByteArray stringDescriptor(const QByteArray &contents)
{
    return bytesOf({ 2 + int(contents.size()), 0x03 }) + contents;
}
