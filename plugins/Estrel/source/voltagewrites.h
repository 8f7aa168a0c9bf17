#pragma once
// Turns the threshold changes collected during one flush interval into board writes. The
// board takes one voltage for a list of channels, so channels that wait for the same voltage
// go out in one write; channels that wait for different voltages each get theirs. A pure
// function, no threads.

#include <cstdint>
#include <utility>
#include <vector>

struct VoltageWrite {
    std::vector<std::uint16_t> channels; // in channel order
    double volts = 0;
};

// `pending`: (channel, voltage) in channel order. The writes come in the order of the first
// channel of each voltage.
std::vector<VoltageWrite> planVoltageWrites(const std::vector<std::pair<std::uint16_t, double>> &pending);
