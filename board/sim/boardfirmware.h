#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <utility>

// The evaluation board's controller as the link sees it: it takes the 17-byte output report and
// presents its answer as string 244 (data byte, status byte, second data byte, then padding, as
// UTF-16LE code units). Holds the board's state: the chip's SPI registers, the I2C devices'
// registers, the pin groups and the ADC inputs. Knows nothing of USB plumbing, so any transport
// (the simulated HID platform, an emulated usbfs device) can answer from it.
class BoardFirmware
{
public:
    static constexpr int kReportLength = 17;
    static constexpr int kAnswerLength = 16; // what string 244 holds; the link reads 8 bytes
    static constexpr int kSpiRegisterCount = 32;
    static constexpr int kPinGroupCount = 8;
    static constexpr int kAdcDeviceCount = 32;
    static constexpr int kAdcChannelCount = 8;

    // Status codes of the answer; the link treats every non-zero value alike.
    enum Status : std::uint8_t {
        Ok = 0x00,
        UnknownCommand = 0x01,
        I2cNoAcknowledge = 0x02,
        BadParameter = 0x03,
        BadFrame = 0x04,
    };

    struct PinGroup
    {
        std::uint8_t direction = 0; // bit set: the pin drives its level
        std::uint8_t level = 0; // output latch
        std::uint8_t input = 0; // what the outside world applies to the pins not driven
    };

    using Answer = std::array<std::uint8_t, kAnswerLength>;

    BoardFirmware();

    // Carries out one output report (report[0] is the report ID) and returns the new answer.
    // A report shorter than 9 bytes is refused with BadFrame.
    const Answer &handleReport(const std::uint8_t *report, int length);
    // The contents of string 244: the answer to the last report, all zero before the first.
    const Answer &answer() const { return mAnswer; }

    // Makes every command with this code (and, for the pin command, this sub-function; -1 for
    // any) answer with `status` instead of being carried out. Status 0 removes the rule.
    void setCommandStatus(int code, std::uint8_t status, int subFunction = -1);
    void clearCommandStatuses() { mCommandStatuses.clear(); }

    // Powers the controller up afresh: registers, pins and I2C contents back to zero, ADC inputs
    // kept (they are the outside world), not initialised.
    void reset();

    bool initialised() const { return mInitialised; }
    int initCount() const { return mInitCount; }

    std::uint8_t spiRegister(int reg) const { return mSpi.at(static_cast<std::size_t>(reg)); }
    void setSpiRegister(int reg, std::uint8_t value)
    {
        mSpi.at(static_cast<std::size_t>(reg)) = value;
    }

    // An I2C device answers only once it is attached.
    void attachI2cDevice(int address) { mI2c[address & 0x7F]; }
    bool hasI2cDevice(int address) const { return mI2c.count(address & 0x7F) != 0; }
    std::uint8_t i2cRegister(int address, int reg) const;
    void setI2cRegister(int address, int reg, std::uint8_t value);

    const PinGroup &pinGroup(int group) const { return mPins.at(static_cast<std::size_t>(group)); }
    void setPinInputs(int group, std::uint8_t levels)
    {
        mPins.at(static_cast<std::size_t>(group)).input = levels;
    }
    // Level seen on each pin: the latch where the pin drives, the outside world elsewhere.
    std::uint8_t pinLevels(int group) const;

    void setAdcValue(int device, int channel, std::uint16_t value);
    std::uint16_t adcValue(int device, int channel) const;

private:
    std::uint8_t execute(const std::uint8_t *block, std::uint8_t *data, std::uint8_t *data2);
    std::uint8_t pinCommand(const std::uint8_t *block, std::uint8_t *data);

    Answer mAnswer {};
    bool mInitialised = false;
    int mInitCount = 0;
    std::array<std::uint8_t, kSpiRegisterCount> mSpi {};
    std::map<int, std::array<std::uint8_t, 256>> mI2c;
    std::array<PinGroup, kPinGroupCount> mPins {};
    std::array<std::uint16_t, kAdcDeviceCount * kAdcChannelCount> mAdc {};
    std::map<std::pair<int, int>, std::uint8_t> mCommandStatuses;
};
