#pragma once
// The host's side of the tag stream's wire layout (docs/board-protocol.md, "Time tagger"):
// turns one raw packet of stream 3 into tags and the board's overflow reports. Each packet
// carries its own epoch, so packets decode independently. Pure functions; any thread.

#include <cstddef>
#include <cstdint>
#include <system_error>
#include <vector>

#include "tdc/dorrin.h"

namespace tagwire {

constexpr unsigned lowBits = 24;
constexpr std::uint32_t lowMask = (1u << lowBits) - 1;
constexpr unsigned channelShift = 25;
constexpr std::uint32_t fallingBit = 1u << 24;
constexpr std::uint32_t typeMask = 0xF0000000u;
constexpr std::uint32_t epochLowType = 0x80000000u;
constexpr std::uint32_t epochHighType = 0x90000000u;
constexpr std::uint32_t overflowType = 0xA0000000u;
constexpr std::size_t overflowWords = 4;

// A board overflow found in a packet: `count` tags of `channel` dropped, the first at `tag`.
using Loss = Dorrin::loss;

// Appends the packet's tags to `tags` and its overflow reports to `losses`. A tag before the
// packet's first epoch marker, an unknown marker or an overflow marker cut short makes the
// packet malformed: what came before the fault is kept, the rest is not decoded, and the
// error is returned with `consumed` set to the words decoded.
std::error_code decode(const std::uint32_t *words, std::size_t count, std::vector<Dorrin::measurement> &tags,
                       std::vector<Loss> &losses, std::size_t &consumed);

// Counts a packet's tags per channel without keeping them (for packets the host must drop),
// adds the board's overflow reports to `boardLost` and returns the first tag's time in
// `firstTag` (0 without tags). `tagsPerChannel` and `boardLost` hold 64 entries.
void count(const std::uint32_t *words, std::size_t n, std::uint64_t *tagsPerChannel, std::uint64_t *boardLost,
           std::uint64_t &firstTag);

} // namespace tagwire
