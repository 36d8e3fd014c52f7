#pragma once

#include <array>

// Phase lengths in ms, indexed by slider position. The chip's timing is not a simple
// progression, so the tables are stated value by value rather than generated.
namespace TimingTables {

// Rise and fall times; positions 2 and 4 are 211.1 and 422, not multiples of 105.6.
constexpr std::array<double, 16> ramp = {
    0,
    105.6,
    211.1,
    316.8,
    422,
    528,
    633.6,
    739.2,
    844.8,
    950.4,
    1056,
    1161.6,
    1267.2,
    1372.8,
    1478.4,
    1584,
};

constexpr std::array<double, 32> on = {
    13.2,
    26.4,
    52.8,
    105.6,
    158.4,
    211.2,
    264,
    316.8,
    369.6,
    435.6,
    501.6,
    594,
    699.6,
    805.2,
    910.8,
    1016.4,
    1122,
    1227.6,
    1353,
    1478.4,
    1603.8,
    1729.2,
    1854.6,
    1980,
    2105.4,
    2230.8,
    2356.2,
    2481.6,
    2613.6,
    2745.6,
    2877.6,
    3009.6,
};

// Each off time is twice the on time of the same position.
constexpr std::array<double, 32> off = {
    26.4,
    52.8,
    105.6,
    211.2,
    316.8,
    422.4,
    528,
    633.6,
    739.2,
    871.2,
    1003.2,
    1188,
    1399.2,
    1610.4,
    1821.6,
    2032.8,
    2244,
    2455.2,
    2706,
    2956.8,
    3207.6,
    3458.4,
    3709.2,
    3960,
    4210.8,
    4461.6,
    4712.4,
    4963.2,
    5227.2,
    5491.2,
    5755.2,
    6019.2,
};

} // namespace TimingTables
