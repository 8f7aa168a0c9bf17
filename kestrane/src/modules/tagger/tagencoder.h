#pragma once
// The board's side of the tag stream's wire layout (docs/board-protocol.md, "Time tagger"):
// packs tags into 32-bit words for raw packets on stream 3. A tag word carries the channel,
// the edge and the low 24 bits of the time; the upper 40 bits travel in epoch markers only
// when they change, so a busy stream costs 4 bytes per tag. Every packet starts with the full
// epoch, so the host can decode each packet on its own.
//
// A value class without threads; the time tagger module owns one.

#include <cstdint>
#include <vector>

namespace kestrane {
namespace tagwire {

constexpr unsigned lowBits = 24;
constexpr std::uint32_t lowMask = (1u << lowBits) - 1;
constexpr unsigned channelShift = 25;
constexpr std::uint32_t fallingBit = 1u << 24;
constexpr std::uint32_t markerBit = 1u << 31;
constexpr std::uint32_t typeMask = 0xF0000000u;
constexpr std::uint32_t epochLowType = 0x80000000u;  // bits 27-0: time bits 51-24
constexpr std::uint32_t epochHighType = 0x90000000u; // bits 11-0: time bits 63-52
constexpr std::uint32_t overflowType = 0xA0000000u;  // bits 5-0: channel; 3 words follow
constexpr std::uint32_t overflowWords = 4;
constexpr std::uint32_t maxChannels = 64;

// Edges as the host library numbers them.
constexpr std::uint8_t rising = 1;
constexpr std::uint8_t falling = 2;

struct Tag {
    std::uint64_t time = 0; // minimum bin widths since the board started
    std::uint8_t channel = 0;
    std::uint8_t edge = rising;
};

class Encoder {
public:
    // Starts a packet in `out` (cleared) whose tags begin at or after `time`.
    void begin(std::vector<std::uint32_t> &out, std::uint64_t time);
    void add(std::vector<std::uint32_t> &out, const Tag &tag);
    // `count` tags of `channel` were dropped, the first of them at `time`. Counts above
    // 2^32 - 1 go out as several markers.
    void overflow(std::vector<std::uint32_t> &out, std::uint8_t channel, std::uint64_t count,
                  std::uint64_t time);

private:
    void setEpoch(std::vector<std::uint32_t> &out, std::uint64_t epoch);
    std::uint64_t epoch_ = 0; // time >> 24
};

} // namespace tagwire
} // namespace kestrane
