#include "boardfirmware.h"

namespace {
// Offsets into the command block (report byte 1 is block byte 0).
constexpr int kCode = 2;
constexpr int kParam1 = 4;
constexpr int kParam2 = 5;
constexpr int kParam3 = 6;
constexpr int kParam4 = 7;

constexpr std::uint8_t kPinCommand = 0x38;
} // namespace

BoardFirmware::BoardFirmware() = default;

void BoardFirmware::reset()
{
    mInitialised = false;
    mSpi.fill(0);
    for (auto &device : mI2c)
        device.second.fill(0);
    for (PinGroup &group : mPins)
        group = PinGroup { 0, 0, group.input };
    mAnswer.fill(0);
}

std::uint8_t BoardFirmware::i2cRegister(int address, int reg) const
{
    const auto device = mI2c.find(address & 0x7F);
    return device == mI2c.end() ? 0 : device->second[static_cast<std::size_t>(reg & 0xFF)];
}

void BoardFirmware::setI2cRegister(int address, int reg, std::uint8_t value)
{
    mI2c[address & 0x7F][static_cast<std::size_t>(reg & 0xFF)] = value;
}

std::uint8_t BoardFirmware::pinLevels(int group) const
{
    const PinGroup &pins = pinGroup(group);
    return static_cast<std::uint8_t>(
        (pins.level & pins.direction) | (pins.input & ~pins.direction));
}

void BoardFirmware::setAdcValue(int device, int channel, std::uint16_t value)
{
    mAdc.at(static_cast<std::size_t>(device * kAdcChannelCount + channel)) = value;
}

std::uint16_t BoardFirmware::adcValue(int device, int channel) const
{
    return mAdc.at(static_cast<std::size_t>(device * kAdcChannelCount + channel));
}

void BoardFirmware::setCommandStatus(int code, std::uint8_t status, int subFunction)
{
    const auto key = std::make_pair(code & 0xFF, subFunction);
    if (status == Ok)
        mCommandStatuses.erase(key);
    else
        mCommandStatuses[key] = status;
}

const BoardFirmware::Answer &BoardFirmware::handleReport(const std::uint8_t *report, int length)
{
    std::uint8_t data = 0;
    std::uint8_t data2 = 0;
    std::uint8_t status = BadFrame;
    if (report && length >= 9 && report[1] == 0x08 && report[4] == 0x26) {
        const std::uint8_t *block = report + 1;
        const auto forced = [this, block](int subFunction) {
            return mCommandStatuses.find(std::make_pair(int(block[kCode]), subFunction));
        };
        auto rule = forced(block[kCode] == kPinCommand ? block[kParam4] : -1);
        if (rule == mCommandStatuses.end())
            rule = forced(-1);
        status = rule != mCommandStatuses.end() ? rule->second : execute(block, &data, &data2);
    }
    mAnswer.fill(0);
    mAnswer[0] = data;
    mAnswer[1] = status;
    mAnswer[2] = data2;
    return mAnswer;
}

std::uint8_t BoardFirmware::execute(
    const std::uint8_t *block, std::uint8_t *data, std::uint8_t *data2)
{
    switch (block[kCode]) {
    case 0x00:
        reset();
        mInitialised = true;
        ++mInitCount;
        return Ok;
    case 0x10:
        if (!hasI2cDevice(block[kParam3]))
            return I2cNoAcknowledge;
        setI2cRegister(block[kParam3], block[kParam2], block[kParam1]);
        return Ok;
    case 0x11:
        if (block[kParam2] >= kSpiRegisterCount)
            return BadParameter;
        mSpi[block[kParam2]] = block[kParam1];
        return Ok;
    case 0x20:
        if (!hasI2cDevice(block[kParam3]))
            return I2cNoAcknowledge;
        *data = i2cRegister(block[kParam3], block[kParam2]);
        return Ok;
    case 0x22: {
        // Bits 7 and 6 make it a read; bit 0 must be clear.
        const std::uint8_t address = block[kParam2];
        if ((address & 0xC1) != 0xC0)
            return BadParameter;
        *data = mSpi[(address >> 1) & 0x1F];
        return Ok;
    }
    case 0x30: {
        const std::uint16_t value = adcValue(block[kParam2] >> 3, block[kParam2] & 7);
        *data = static_cast<std::uint8_t>(value >> 8);
        *data2 = static_cast<std::uint8_t>(value & 0xFF);
        return Ok;
    }
    case kPinCommand:
        return pinCommand(block, data);
    default:
        return UnknownCommand;
    }
}

std::uint8_t BoardFirmware::pinCommand(const std::uint8_t *block, std::uint8_t *data)
{
    if (block[kParam3] >= kPinGroupCount)
        return BadParameter;
    PinGroup &group = mPins[block[kParam3]];
    const std::uint8_t set = block[kParam1];
    const std::uint8_t clear = block[kParam2];
    switch (block[kParam4]) {
    case 1:
        group.direction = static_cast<std::uint8_t>((group.direction | set) & ~clear);
        return Ok;
    case 2:
        *data = pinLevels(block[kParam3]);
        return Ok;
    case 3:
        group.level = static_cast<std::uint8_t>((group.level | set) & ~clear);
        return Ok;
    default:
        return UnknownCommand;
    }
}
