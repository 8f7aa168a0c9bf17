#pragma once
// The legacy histogrammer's registers as the host sees them (docs/board-protocol.md).

#include <cstdint>

namespace tdcregs::legacy {
constexpr std::uint32_t addrWidth = 0x00; // address width, data width, overflow bits,
constexpr std::uint32_t headerWords = 5;  // stamp bits, min bin width fs
constexpr std::uint32_t control = 0x05;
constexpr std::uint32_t command = 0x06;
constexpr std::uint32_t bitTrunc = 0x07;
constexpr std::uint32_t offsetLow = 0x08; // two words, low first
constexpr std::uint32_t reference = 0x0A;
constexpr std::uint32_t measurement = 0x0B;
constexpr std::uint32_t triggerLow = 0x0C; // two words, low first, microseconds
constexpr std::uint32_t status = 0x0E;
constexpr std::uint32_t channels = 0x11;
constexpr std::uint32_t bins = 0x1000;

constexpr std::uint32_t controlRun = 1u << 0;
constexpr std::uint32_t controlAutoPush = 1u << 1;
constexpr std::uint32_t controlTrigger = 1u << 2;
constexpr unsigned controlWriteShift = 8;
constexpr std::uint32_t commandClear = 1u << 0;
constexpr std::uint32_t commandPush = 1u << 1;
constexpr std::uint32_t statusRunning = 1u << 0;
constexpr std::uint32_t edgeShift = 16;

// Changes `bits` of the control word to `on` and leaves the others as the board has them.
constexpr std::uint32_t controlWrite(std::uint32_t bits, bool on)
{
    return (bits << controlWriteShift) | (on ? bits : 0u);
}
} // namespace tdcregs::legacy
