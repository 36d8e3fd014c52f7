#include "boardcommands.h"

#include "boardtrace.h"

namespace {

using Layout = BoardCommandLayout;

// name, code, sub-function, bytes dumped, where the report dump goes
// clang-format off
const Layout kInitController { "init_controller", 0x00, 0,                          8, ReportDump::None };
const Layout kI2cWrite       { "i2c_write",       0x10, 0,                          8, ReportDump::BeforeWrite };
const Layout kSpiWrite       { "spi_write",       0x11, 0,                          8, ReportDump::BeforeWrite };
const Layout kI2cRead        { "i2c_read",        0x20, 0,                          8, ReportDump::BeforeWrite };
const Layout kSpiRead        { "spi_read",        0x22, 0,                          8, ReportDump::BeforeWrite };
const Layout kMeasure        { "measure",         0x30, 0,                          9, ReportDump::BeforeWrite };
const Layout kReadPin        { "read_pin",        0x38, BoardCommand::kPinRead,      9, ReportDump::AfterWrite };
const Layout kSetPinDir      { "set_pin_dir",     0x38, BoardCommand::kPinDirection, 9, ReportDump::BeforeWrite };
const Layout kSetPin         { "set_pin",         0x38, BoardCommand::kPinSet,       9, ReportDump::AfterWrite };
// clang-format on

std::uint8_t low8(int value)
{
    return static_cast<std::uint8_t>(static_cast<unsigned>(value) & 0xFFu);
}

std::uint32_t bits(int value)
{
    return static_cast<std::uint32_t>(value);
}

// A pin outside 0..7 has no bit in the 8-bit masks; shifting by it would be undefined.
std::uint8_t pinBit(int pin)
{
    return (pin >= 0 && pin < 8) ? static_cast<std::uint8_t>(1u << pin) : 0;
}

} // namespace

int USBHid2::writeCommand(const BoardCommandLayout &command, std::uint8_t param1,
    std::uint8_t param2, std::uint8_t param3, std::initializer_list<BoardTraceValue> arguments,
    int *status)
{
    return exchange(command, param1, param2, param3, arguments, status) == Answer::Accepted ? 1 : 0;
}

int USBHid2::init_controller(int *status)
{
    return writeCommand(kInitController, 0, 0, 0, {}, status);
}

int USBHid2::i2c_write(int devAddr, int regAddr, int data, int *status)
{
    return writeCommand(kI2cWrite, low8(data), low8(regAddr), low8(devAddr),
        { { "addr = ", low8(devAddr), true }, { "reg addr = ", low8(regAddr), true },
            { "data = ", low8(data), true } },
        status);
}

int USBHid2::spi_write(int regAddr, int data, int *status)
{
    return writeCommand(kSpiWrite, low8(data), low8(regAddr), 0,
        { { "addr = ", bits(regAddr), true }, { "data = ", low8(data), true } }, status);
}

int USBHid2::i2c_read(int devAddr, int regAddr, int *status)
{
    if (exchange(kI2cRead, 0, low8(regAddr), low8(devAddr), { { "addr = ", low8(devAddr), true } },
            status)
        != Answer::Accepted)
        return -1;
    BoardTrace::hexValue("return data = ", mReport_buffer[0]);
    return mReport_buffer[0];
}

int USBHid2::spi_read(int reg, int *status)
{
    // The chip takes a read address with bits 7 and 6 set and the register in bits 5 to 1.
    const std::uint8_t field = static_cast<std::uint8_t>((bits(reg) & 0x1Fu) << 1);
    if (exchange(kSpiRead, 0, static_cast<std::uint8_t>(0xC0u | field), 0,
            { { "addr = ", field, true } }, status)
        != Answer::Accepted)
        return -1;
    BoardTrace::hexValue("return data = ", mReport_buffer[0]);
    return mReport_buffer[0];
}

int USBHid2::measure(int channel, int adcDevice, int *status)
{
    const std::uint32_t channelBits = bits(channel) & 7u;
    const std::uint8_t selector = low8(static_cast<int>((bits(adcDevice) << 3) | channelBits));
    if (exchange(kMeasure, 0, selector, 0,
            { { "channel = ", channelBits, true }, { "ADC device = ", low8(adcDevice), false } },
            status)
        != Answer::Accepted)
        return -1;
    const int result = mReport_buffer[0] * 256 + mReport_buffer[2];
    BoardTrace::decValue("data = ", result);
    return result;
}

int USBHid2::read_pin(int pinGroup, int pin, int *status)
{
    if (exchange(kReadPin, 0, 0, low8(pinGroup),
            { { "pingroup = ", low8(pinGroup), true }, { "pin = ", low8(pin), false } }, status)
        != Answer::Accepted)
        return -1;
    const int result = (mReport_buffer[0] & pinBit(pin)) ? 1 : 0;
    BoardTrace::decValue("data = ", result);
    return result;
}

int USBHid2::pinCommand(
    const BoardCommandLayout &command, int pinGroup, int pin, int value, int *status)
{
    // Only one pin changes per command: value 1 sets its bit, anything else clears it.
    const std::uint8_t setMask = value == 1 ? pinBit(pin) : 0;
    const std::uint8_t clearMask = value == 1 ? 0 : pinBit(pin);
    return writeCommand(command, setMask, clearMask, low8(pinGroup),
        { { "setbits = ", setMask, true }, { "clearbits = ", clearMask, true },
            { "pingroup = ", bits(pinGroup), true } },
        status);
}

int USBHid2::set_pin_dir(int pinGroup, int pin, int value, int *status)
{
    return pinCommand(kSetPinDir, pinGroup, pin, value, status);
}

int USBHid2::set_pin(int pinGroup, int pin, int value, int *status)
{
    return pinCommand(kSetPin, pinGroup, pin, value, status);
}
