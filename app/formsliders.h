#pragma once

#include "chipsettings.h"

#include <array>

// The form's widgets of each setting, by object name, indexed like ChipSettings::settings:
// calibration, current, then rise, on, fall and off of pulses 1 to 3.
struct FormSlider
{
    const char *slider;
    const char *name; // the label that names it
    const char *value; // the label that shows its value
};

// clang-format off
constexpr std::array<FormSlider, ChipSettings::kCount> kFormSliders = { {
    { "calibrationSlider", "label_4", "calLabel" },
    { "currentSlider", "label", "currentLabel" },
    { "r1Slider", "label_2", "r1Label" },   { "on1Slider", "label_6", "on1Label" },
    { "f1Slider", "label_8", "f1Label" },   { "off1Slider", "label_9", "off1Label" },
    { "r2Slider", "label_12", "r2Label" },  { "on2Slider", "label_13", "on2Label" },
    { "f2Slider", "label_14", "f2Label" },  { "off2Slider", "label_15", "off2Label" },
    { "r3Slider", "label_20", "r3Label" },  { "on3Slider", "label_21", "on3Label" },
    { "f3Slider", "label_22", "f3Label" },  { "off3Slider", "label_23", "off3Label" },
} };
// clang-format on
