#pragma once
// COBS of one byte lane, the way the multiCOBS code uses it: blocks of at most 254 data
// bytes; a block closed by 0xFF implies no zero; a block of 254 bytes is closed by 0xFF only
// once another byte follows. Both functions copy runs sixteen bytes at a time and may read
// and write up to `lane_slack` bytes past the ends they are given.

#include <cstddef>
#include <cstdint>

namespace multicobs::detail {

constexpr std::size_t lane_slack = 16;
constexpr std::size_t malformed_lane = ~std::size_t(0);

// Largest encoding of `n` lane bytes.
constexpr std::size_t max_lane_size(std::size_t n) noexcept { return n + 1 + n / 254; }

// Encodes n bytes; returns the encoded length.
std::size_t encode_lane(const std::uint8_t *in, std::size_t n, std::uint8_t *out) noexcept;

// Decodes n encoded bytes (known to hold no zero byte); returns the decoded length, or
// malformed_lane when a block promises more bytes than the lane holds.
std::size_t decode_lane(const std::uint8_t *in, std::size_t n, std::uint8_t *out) noexcept;

} // namespace multicobs::detail
