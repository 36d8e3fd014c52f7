#include "boardfirmware.h"
#include "boardidentity.h"
#include "boardtrace.h"
#include "usbhid2.h"

#include <QtGlobal>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

namespace {

// A HID layer whose every answer comes from the fuzzer: how many devices, which open, their IDs,
// how each write ends and what string 244 holds. It checks what the link hands it.
class FuzzedPlatform : public HidPlatform
{
public:
    explicit FuzzedPlatform(FuzzedDataProvider &input) : mInput(input) { }
    ~FuzzedPlatform() override
    {
        if (mOpenCount != 0)
            std::abort(); // the link left a device open
    }

    int listDevices() override { return mInput.ConsumeIntegralInRange(0, 4); }
    void releaseDeviceList() override { }
    HidHandle open(int) override
    {
        if (!mInput.ConsumeBool())
            return kInvalidHidHandle;
        ++mOpenCount;
        return ++mLastHandle;
    }
    bool readListedIds(int, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        return consumeIds(vendorId, productId);
    }
    bool readIds(HidHandle, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        return consumeIds(vendorId, productId);
    }
    HidWriteResult writeReport(
        HidHandle handle, const std::uint8_t *report, int length, int) override
    {
        if (handle <= 0 || handle > mLastHandle || length != USBHid2::kReportLength
            || report[0] != 0)
            std::abort();
        for (int i = 9; i < length; ++i) {
            if (report[i] != 0)
                std::abort();
        }
        mFirmware.handleReport(report, length);
        const int outcome = mInput.ConsumeIntegralInRange(0, 2);
        return { HidWriteResult::Outcome(outcome), mInput.ConsumeIntegral<std::uint32_t>() };
    }
    bool readString(HidHandle, int index, std::uint8_t *buffer, int length) override
    {
        if (index != USBHid2::kAnswerStringIndex || !mInput.ConsumeBool())
            return false;
        const std::string answer = mInput.ConsumeBytesAsString(std::size_t(length));
        std::copy(answer.begin(), answer.end(), buffer);
        return true;
    }
    void close(HidHandle) override { --mOpenCount; }

private:
    bool consumeIds(std::uint16_t *vendorId, std::uint16_t *productId)
    {
        if (!mInput.ConsumeBool())
            return false;
        const bool board = mInput.ConsumeBool();
        *vendorId = board ? kBoardVendorId : mInput.ConsumeIntegral<std::uint16_t>();
        *productId = board ? kBoardProductId : mInput.ConsumeIntegral<std::uint16_t>();
        return true;
    }

    FuzzedDataProvider &mInput;
    BoardFirmware mFirmware;
    HidHandle mLastHandle = 0;
    int mOpenCount = 0;
};

void expect(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

// Millions of runs would otherwise print millions of trace and debug lines: the trace goes into a
// string that every run empties, and the link's debug messages nowhere.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static std::string trace;
    trace.clear();
    BoardTrace::setBuffer(&trace);
    FuzzedDataProvider input(data, size);
    USBHid2 link(std::make_unique<FuzzedPlatform>(input), 1);

    while (input.remaining_bytes() > 0) {
        const int a = input.ConsumeIntegral<int>();
        const int b = input.ConsumeIntegral<int>();
        const int c = input.ConsumeIntegral<int>();
        int status = -7;
        int result = 0;
        bool read = false;
        switch (input.ConsumeIntegralInRange(0, 10)) {
        case 0:
            expect(link.usb_hid_init() == link.mConn_status);
            continue;
        case 1: {
            const int before = link.mConn_status;
            expect(link.conn_status() <= before);
            continue;
        }
        case 2:
            result = link.init_controller();
            break;
        case 3:
            result = link.i2c_write(a, b, c, &status);
            break;
        case 4:
            result = link.spi_write(a, b, &status);
            break;
        case 5:
            result = link.i2c_read(a, b, &status), read = true;
            expect(result <= 255);
            break;
        case 6:
            result = link.spi_read(a, &status), read = true;
            expect(result <= 255);
            break;
        case 7:
            result = link.measure(a, b, &status), read = true;
            break;
        case 8:
            result = link.read_pin(a, b, &status), read = true;
            expect(result <= 1);
            break;
        case 9:
            result = link.set_pin_dir(a, b, c, &status);
            break;
        default:
            result = link.set_pin(a, b, c, &status);
            break;
        }
        expect(status == -7 || (status >= 1 && status <= 255));
        expect(read ? (result >= -1 && result <= 65535) : (result == 0 || result == 1));
        expect((status == -7) || result == (read ? -1 : 0));
    }
    return 0;
}
