#pragma once
// Moving between 32-bit words and the four byte lanes of the multiCOBS code: lane j holds
// byte j of every word. Done sixteen words at a time with SSE2 byte interleaves where
// available.

#include <cstddef>
#include <cstdint>

namespace multicobs::detail {

// Splits `count` words into the lanes: lanes[j][i] = byte j of words[i].
void words_to_lanes(const std::uint32_t *words, std::size_t count, std::uint8_t *const lanes[4]) noexcept;

// Same from encoded bytes (4 per word); returns false when any byte is zero.
bool bytes_to_lanes_nonzero(const std::uint8_t *bytes, std::size_t words, std::uint8_t *const lanes[4]) noexcept;

// Joins `count` bytes of each lane into words at `out` (4 * count bytes).
void lanes_to_words(const std::uint8_t *const lanes[4], std::size_t count, std::uint8_t *out) noexcept;

} // namespace multicobs::detail
