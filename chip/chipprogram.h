#pragma once

#include <array>
#include <cstdint>
#include <vector>

class USBHid2;

// How each button programs the QD7310: the image registers it copies, strictly in this order,
// then the command code written to register 0.
struct RegisterCopy
{
    int command;
    int count;
    std::array<std::uint8_t, 15> registers;
};

namespace ChipProgram {

constexpr int kCommandRegister = 0;
constexpr int kFixedRegister = 15;
constexpr int kFixedValue = 20;

constexpr RegisterCopy reset = { 0, 0, {} };
constexpr RegisterCopy followMode1 = { 1, 5, { 1, 2, 3, 4, 15 } };
constexpr RegisterCopy changeCurrent = { 2, 3, { 1, 2, 15 } };
constexpr RegisterCopy followMode2 = { 3, 5, { 1, 2, 3, 4, 15 } };
constexpr RegisterCopy train1 = { 4, 7, { 1, 2, 3, 4, 5, 6, 15 } };
constexpr RegisterCopy train2 = { 5, 11, { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15 } };
constexpr RegisterCopy train3 = { 6, 15, { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 } };
constexpr RegisterCopy runOnce1 = { 7, 0, {} };
constexpr RegisterCopy runOnce2 = { 8, 0, {} };

// The run line: high while Run is checked.
constexpr int kRunLineGroup = 1;
constexpr int kRunLinePin = 6;

enum class PinOp { Level, Direction };
struct PinStep
{
    PinOp op;
    int group;
    int pin;
    int value;
};

// Prepares a freshly found board's pins, in this exact order. Steps 1 and 2 come again as
// steps 18 and 19: both pairs are sent.
constexpr std::array<PinStep, 26> boardPreparation = { {
    { PinOp::Level, 1, 1, 1 },
    { PinOp::Direction, 1, 1, 0 },
    { PinOp::Direction, 2, 2, 1 },
    { PinOp::Direction, 2, 3, 1 },
    { PinOp::Direction, 2, 4, 1 },
    { PinOp::Direction, 2, 5, 0 },
    { PinOp::Direction, 2, 6, 1 },
    { PinOp::Direction, 3, 0, 1 },
    { PinOp::Direction, 3, 1, 1 },
    { PinOp::Direction, 3, 2, 1 },
    { PinOp::Direction, 1, 3, 0 },
    { PinOp::Direction, 2, 0, 1 },
    { PinOp::Direction, 2, 1, 1 },
    { PinOp::Direction, 1, 0, 1 },
    { PinOp::Direction, 1, 6, 1 },
    { PinOp::Level, 2, 1, 1 },
    { PinOp::Level, 2, 0, 1 },
    { PinOp::Level, 1, 1, 1 },
    { PinOp::Direction, 1, 1, 0 },
    { PinOp::Level, 2, 6, 0 },
    { PinOp::Level, 3, 0, 1 },
    { PinOp::Level, 2, 2, 0 },
    { PinOp::Level, 2, 3, 0 },
    { PinOp::Level, 2, 4, 0 },
    { PinOp::Level, 3, 1, 0 },
    { PinOp::Level, 3, 2, 0 },
} };

// What the chip was sent and how the board took it. A command the board did not answer leaves
// `status` 0 with `failed` set; one it refused carries its non-zero status byte.
struct Outcome
{
    int sent = 0; // board commands sent
    bool failed = false; // at least one of them was not carried out
    int status = 0; // the first refusal's status byte, 0 if none
};

// One spi_write of a register copy: the register and the data byte.
struct RegisterWrite
{
    std::uint8_t reg;
    std::uint8_t value;
};
// The copy's image registers, low byte each, then its command code to register 0: the writes
// that writeRegisters sends and the firmware export lists, so the two cannot disagree.
std::vector<RegisterWrite> registerWrites(
    const std::int32_t (&chipRegs)[15], const RegisterCopy &copy);

// Sends registerWrites(chipRegs, copy), one spi_write each. Every command is sent even when an
// earlier one failed, as the window has always done.
Outcome writeRegisters(USBHid2 &link, const std::int32_t (&chipRegs)[15], const RegisterCopy &copy);
// Drives the run line high or low.
Outcome setRunLine(USBHid2 &link, bool high);
// Initialises the board's controller, then sets its pins step by step. Stops after the
// initialisation when the controller did not take it.
Outcome prepareBoard(USBHid2 &link);

// The register copy each numbered button sends, for the front ends that name them.
const RegisterCopy *train(int pulses); // 1..3, else nullptr
const RegisterCopy *followMode(int mode); // 1..2, else nullptr
const RegisterCopy *runOnce(int mode); // 1..2, else nullptr

} // namespace ChipProgram
