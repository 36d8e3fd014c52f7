#include "hidplatform.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t kFallbackLanguage = 0x0409; // US English, when string 0 says nothing
constexpr std::uint8_t kHidSetReport = 0x09;
constexpr std::uint16_t kHidOutputReport = 0x0200;

// The trace prints Windows' numbers; this is the only place libusb's errors turn into them.
std::uint32_t mapError(int libusbError)
{
    switch (libusbError) {
    case LIBUSB_ERROR_ACCESS:
        return HidError::AccessDenied;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
        return HidError::DeviceNotConnected;
    case LIBUSB_ERROR_BUSY:
        return HidError::Busy;
    case LIBUSB_ERROR_IO:
    case LIBUSB_ERROR_OVERFLOW:
        return HidError::IoDevice;
    case LIBUSB_ERROR_INVALID_PARAM:
        return HidError::InvalidParameter;
    case LIBUSB_ERROR_NO_MEM:
        return HidError::NotEnoughMemory;
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return HidError::NotSupported;
    default:
        return HidError::GeneralFailure; // pipe stalls, interrupted calls, anything new
    }
}

// HID interfaces come from the descriptors libusb caches, so listing costs no bus traffic.
// Opening does not claim: keyboards and mice are never taken from their driver, and a device
// the user may not open simply fails to open. Only the board gets its interface claimed, with
// the kernel driver detached for as long as it is held; usbfs lets one program at a time claim
// it, so a board another program holds is told apart at the search.
class LibusbHidPlatform : public HidPlatform
{
public:
    ~LibusbHidPlatform() override
    {
        while (!mOpen.empty())
            close(mOpen.begin()->first);
        releaseDeviceList();
        if (mContext)
            libusb_exit(mContext);
    }

    int listDevices() override
    {
        releaseDeviceList();
        // Without USB (a container, a missing usbfs) initialisation fails; the next search retries.
        if (!mContext && libusb_init(&mContext) != LIBUSB_SUCCESS) {
            mContext = nullptr;
            return 0;
        }
        libusb_device **devices = nullptr;
        const ssize_t count = libusb_get_device_list(mContext, &devices);
        for (ssize_t i = 0; i < count; ++i)
            addHidInterfaces(devices[i]);
        if (devices)
            libusb_free_device_list(devices, 1);
        return static_cast<int>(mSnapshot.size());
    }

    void releaseDeviceList() override
    {
        for (const Interface &entry : mSnapshot)
            libusb_unref_device(entry.device);
        mSnapshot.clear();
    }

    HidHandle open(int index) override
    {
        if (index < 0 || index >= static_cast<int>(mSnapshot.size()))
            return kInvalidHidHandle;
        const Interface &entry = mSnapshot[static_cast<std::size_t>(index)];
        libusb_device_handle *device = nullptr;
        if (libusb_open(entry.device, &device) != LIBUSB_SUCCESS)
            return kInvalidHidHandle;
        const HidHandle handle = mNextHandle++;
        mOpen[handle] = Open { device, entry.interfaceNumber, entry.outEndpoint };
        return handle;
    }

    // libusb cached the device descriptor at enumeration: no open, so no permission, is needed.
    bool readListedIds(int index, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        libusb_device_descriptor descriptor;
        if (index < 0 || index >= static_cast<int>(mSnapshot.size())
            || libusb_get_device_descriptor(
                   mSnapshot[static_cast<std::size_t>(index)].device, &descriptor)
                != LIBUSB_SUCCESS)
            return false;
        *vendorId = descriptor.idVendor;
        *productId = descriptor.idProduct;
        return true;
    }

    // The bus and the chain of hub ports, as the kernel names the device in sysfs ("1-4.2").
    std::string location(int index) override
    {
        if (index < 0 || index >= static_cast<int>(mSnapshot.size()))
            return kUnknownLocation;
        libusb_device *device = mSnapshot[static_cast<std::size_t>(index)].device;
        std::uint8_t ports[8];
        const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
        if (depth <= 0)
            return kUnknownLocation;
        std::string path = std::to_string(libusb_get_bus_number(device)) + '-';
        for (int i = 0; i < depth; ++i)
            path += (i ? "." : "") + std::to_string(ports[i]);
        return path;
    }

    HidClaim claim(HidHandle handle) override
    {
        Open *device = find(handle);
        const int claimed = device ? claimInterface(*device) : LIBUSB_ERROR_NOT_FOUND;
        if (claimed == LIBUSB_SUCCESS)
            return HidClaim::Claimed;
        return claimed == LIBUSB_ERROR_BUSY ? HidClaim::InUse : HidClaim::Failed;
    }

    bool readIds(HidHandle handle, std::uint16_t *vendorId, std::uint16_t *productId) override
    {
        const Open *device = find(handle);
        libusb_device_descriptor descriptor;
        if (!device
            || libusb_get_device_descriptor(libusb_get_device(device->handle), &descriptor)
                != LIBUSB_SUCCESS)
            return false;
        *vendorId = descriptor.idVendor;
        *productId = descriptor.idProduct;
        return true;
    }

    HidWriteResult writeReport(
        HidHandle handle, const std::uint8_t *report, int length, int timeoutMs) override
    {
        Open *device = find(handle);
        if (!device)
            return { HidWriteResult::Failed, HidError::InvalidHandle };
        if (length < 1)
            return { HidWriteResult::Failed, HidError::InvalidParameter };
        const int claimed = claimInterface(*device);
        if (claimed != LIBUSB_SUCCESS)
            return { HidWriteResult::Failed, mapError(claimed) };

        // An unnumbered report goes on the wire without its leading zero.
        const std::uint8_t reportId = report[0];
        std::vector<unsigned char> wire(report + (reportId == 0 ? 1 : 0), report + length);
        const unsigned timeout
            = static_cast<unsigned>(std::max(timeoutMs, 1)); // 0 would wait forever
        int result;
        int transferred = 0;
        if (device->outEndpoint) {
            // libusb cancels a transfer that timed out and waits for the cancellation to finish
            // before it returns, so the report buffer is free again afterwards.
            result = libusb_interrupt_transfer(device->handle, device->outEndpoint, wire.data(),
                static_cast<int>(wire.size()), &transferred, timeout);
        } else {
            result = libusb_control_transfer(device->handle,
                LIBUSB_ENDPOINT_OUT | LIBUSB_REQUEST_TYPE_CLASS | LIBUSB_RECIPIENT_INTERFACE,
                kHidSetReport, static_cast<std::uint16_t>(kHidOutputReport | reportId),
                static_cast<std::uint16_t>(device->interfaceNumber), wire.data(),
                static_cast<std::uint16_t>(wire.size()), timeout);
            transferred = result;
        }
        if (result == LIBUSB_ERROR_TIMEOUT)
            return { HidWriteResult::TimedOut, 0 };
        if (result < 0)
            return { HidWriteResult::Failed, mapError(result) };
        // Part of a report is no report: the board would act on a truncated command.
        if (transferred != static_cast<int>(wire.size()))
            return { HidWriteResult::Failed, HidError::IoDevice };
        return { HidWriteResult::Completed, 0 };
    }

    bool readString(HidHandle handle, int index, std::uint8_t *buffer, int length) override
    {
        Open *device = find(handle);
        if (!device || index < 0 || index > 255 || length < 0)
            return false;
        if (device->language < 0)
            device->language = firstLanguage(device->handle);
        // A device-recipient GET_DESCRIPTOR needs no claimed interface. The contents are raw
        // UTF-16LE units: an answer may hold 0x0000 or lone surrogates, so no text conversion.
        unsigned char descriptor[255];
        const int received
            = libusb_get_string_descriptor(device->handle, static_cast<std::uint8_t>(index),
                static_cast<std::uint16_t>(device->language), descriptor, sizeof descriptor);
        // A descriptor too short to hold even its own header carries no answer.
        if (received < 2 || descriptor[0] < 2 || descriptor[1] != LIBUSB_DT_STRING)
            return false;
        const int contents = std::min<int>(received, descriptor[0]) - 2;
        if (contents > 0)
            std::memcpy(
                buffer, descriptor + 2, static_cast<std::size_t>(std::min(contents, length)));
        return true;
    }

    void close(HidHandle handle) override
    {
        const auto found = mOpen.find(handle);
        if (found == mOpen.end())
            return;
        // Releasing hands the interface back to the kernel driver that auto-detach took it from.
        if (found->second.claimed)
            libusb_release_interface(found->second.handle, found->second.interfaceNumber);
        libusb_close(found->second.handle);
        mOpen.erase(found);
    }

private:
    struct Interface
    {
        libusb_device *device;
        int interfaceNumber;
        std::uint8_t outEndpoint; // 0: none, write with SET_REPORT on the control pipe
    };
    struct Open
    {
        libusb_device_handle *handle;
        int interfaceNumber;
        std::uint8_t outEndpoint;
        bool claimed = false;
        int language = -1; // not yet asked
    };

    Open *find(HidHandle handle)
    {
        const auto found = mOpen.find(handle);
        return found == mOpen.end() ? nullptr : &found->second;
    }

    void addHidInterfaces(libusb_device *device)
    {
        libusb_config_descriptor *config = nullptr;
        if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS)
            return;
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            const libusb_interface &interface = config->interface[i];
            if (interface.num_altsetting < 1)
                continue;
            const libusb_interface_descriptor &setting = interface.altsetting[0];
            if (setting.bInterfaceClass != LIBUSB_CLASS_HID)
                continue;
            std::uint8_t outEndpoint = 0;
            for (int e = 0; e < setting.bNumEndpoints && !outEndpoint; ++e) {
                const libusb_endpoint_descriptor &endpoint = setting.endpoint[e];
                if ((endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_OUT
                    && (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK)
                        == LIBUSB_TRANSFER_TYPE_INTERRUPT)
                    outEndpoint = endpoint.bEndpointAddress;
            }
            mSnapshot.push_back(
                { libusb_ref_device(device), setting.bInterfaceNumber, outEndpoint });
        }
        libusb_free_config_descriptor(config);
    }

    static int claimInterface(Open &device)
    {
        if (device.claimed)
            return LIBUSB_SUCCESS;
        libusb_set_auto_detach_kernel_driver(device.handle, 1);
        const int claimed = libusb_claim_interface(device.handle, device.interfaceNumber);
        device.claimed = claimed == LIBUSB_SUCCESS;
        return claimed;
    }

    static int firstLanguage(libusb_device_handle *device)
    {
        unsigned char languages[255];
        const int received
            = libusb_get_string_descriptor(device, 0, 0, languages, sizeof languages);
        if (received >= 4 && languages[1] == LIBUSB_DT_STRING)
            return languages[2] | (languages[3] << 8);
        return kFallbackLanguage;
    }

    libusb_context *mContext = nullptr;
    std::vector<Interface> mSnapshot;
    std::map<HidHandle, Open> mOpen;
    HidHandle mNextHandle = 1;
};

} // namespace

std::unique_ptr<HidPlatform> createSystemHidPlatform()
{
    return std::make_unique<LibusbHidPlatform>();
}

const char *systemUnopenableAdvice()
{
    return "install the qd7310-eval package or its udev rule, then replug the board";
}
