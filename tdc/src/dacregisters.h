#pragma once
// The threshold DACs' registers as the host sees them (docs/board-protocol.md).

#include <cstdint>

namespace tdcregs::dac {
constexpr std::uint32_t channels = 0x00; // channels, resolution, min µV, max µV
constexpr std::uint32_t headerWords = 4;
constexpr std::uint32_t tuneControl = 0x04;
constexpr std::uint32_t sweepSteps = 0x05;
constexpr std::uint32_t gateUs = 0x06;
constexpr std::uint32_t maskLow = 0x08; // two words, low first
constexpr std::uint32_t channelBase = 0x40;
constexpr std::uint32_t channelWords = 8;
constexpr std::uint32_t chCode = 0;
constexpr std::uint32_t chStatus = 1;
constexpr std::uint32_t chKind = 2;
constexpr std::uint32_t chTuneState = 3;
constexpr std::uint32_t chPlateauFirst = 4;
constexpr std::uint32_t chPlateauLast = 5;
constexpr std::uint32_t chPlateauRate = 6;

constexpr std::uint32_t tuneStart = 1;
constexpr std::uint32_t tuneAbort = 2;
constexpr std::uint32_t statusInput = 1u << 0;
constexpr std::uint32_t statusOutput = 1u << 1;

enum TuneState : std::uint32_t { neverTuned = 0, sweeping = 1, done = 2, noPlateau = 3, aborted = 4, fixed = 5 };

constexpr std::uint32_t channel(std::uint32_t c, std::uint32_t word) { return channelBase + channelWords * c + word; }
} // namespace tdcregs::dac
