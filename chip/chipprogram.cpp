#include "chipprogram.h"

#include "usbhid2.h"

namespace ChipProgram {

namespace {

// The status is read only once the command has returned: as an argument beside the call that
// sets it, it could be read first.
void record(Outcome &outcome, int result, int status)
{
    ++outcome.sent;
    if (result == 1)
        return;
    outcome.failed = true;
    if (outcome.status == 0)
        outcome.status = status;
}

} // namespace

std::vector<RegisterWrite> registerWrites(
    const std::int32_t (&chipRegs)[15], const RegisterCopy &copy)
{
    std::vector<RegisterWrite> writes;
    writes.reserve(std::size_t(copy.count) + 1);
    for (int i = 0; i < copy.count; ++i) {
        const std::uint8_t reg = copy.registers[static_cast<std::size_t>(i)];
        writes.push_back({ reg, static_cast<std::uint8_t>(chipRegs[reg - 1] & 0xFF) });
    }
    writes.push_back({ std::uint8_t(kCommandRegister), static_cast<std::uint8_t>(copy.command) });
    return writes;
}

Outcome writeRegisters(USBHid2 &link, const std::int32_t (&chipRegs)[15], const RegisterCopy &copy)
{
    Outcome outcome;
    for (const RegisterWrite &write : registerWrites(chipRegs, copy)) {
        int status = 0;
        const int result = link.spi_write(write.reg, write.value, &status);
        record(outcome, result, status);
    }
    return outcome;
}

Outcome setRunLine(USBHid2 &link, bool high)
{
    Outcome outcome;
    int status = 0;
    const int result = link.set_pin(kRunLineGroup, kRunLinePin, high ? 1 : 0, &status);
    record(outcome, result, status);
    return outcome;
}

Outcome prepareBoard(USBHid2 &link)
{
    Outcome outcome;
    int initStatus = 0;
    const int initialised = link.init_controller(&initStatus);
    record(outcome, initialised, initStatus);
    if (outcome.failed)
        return outcome;
    for (const PinStep &step : boardPreparation) {
        int status = 0;
        const int result = step.op == PinOp::Level
            ? link.set_pin(step.group, step.pin, step.value, &status)
            : link.set_pin_dir(step.group, step.pin, step.value, &status);
        record(outcome, result, status);
    }
    return outcome;
}

const RegisterCopy *train(int pulses)
{
    static constexpr const RegisterCopy *trains[] = { &train1, &train2, &train3 };
    return pulses >= 1 && pulses <= 3 ? trains[pulses - 1] : nullptr;
}

const RegisterCopy *followMode(int mode)
{
    return mode == 1 ? &followMode1 : mode == 2 ? &followMode2 : nullptr;
}

const RegisterCopy *runOnce(int mode)
{
    return mode == 1 ? &runOnce1 : mode == 2 ? &runOnce2 : nullptr;
}

} // namespace ChipProgram
