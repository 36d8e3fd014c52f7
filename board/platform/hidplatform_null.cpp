#include "hidplatform.h"

namespace {

// For systems with neither libusb nor the Windows HID calls: the bus is always empty, so the
// program builds and runs and simply never finds the board.
class NullHidPlatform : public HidPlatform
{
public:
    int listDevices() override { return 0; }
    void releaseDeviceList() override { }
    HidHandle open(int) override { return kInvalidHidHandle; }
    bool readIds(HidHandle, std::uint16_t *, std::uint16_t *) override { return false; }
    HidWriteResult writeReport(HidHandle, const std::uint8_t *, int, int) override
    {
        return { HidWriteResult::Failed, HidError::InvalidHandle };
    }
    bool readString(HidHandle, int, std::uint8_t *, int) override { return false; }
    void close(HidHandle) override { }
};

} // namespace

std::unique_ptr<HidPlatform> createSystemHidPlatform()
{
    return std::make_unique<NullHidPlatform>();
}

const char *systemUnopenableAdvice()
{
    return "this build of the tool has no USB support; build it with libusb-1.0";
}
