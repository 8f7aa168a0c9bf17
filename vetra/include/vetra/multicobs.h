#pragma once
// multiCOBS: the framing code of the link. A packet of W 32-bit words is cut into four byte
// lanes (lane j holds byte j of every word), each lane is COBS-encoded on its own, shorter
// lanes are padded with 0x01 and the lanes are interleaved again, so the result is a whole
// number of words without any zero byte. A zero word on the wire ends a packet.
//
// Pure functions over buffers, safe on any thread; the host's packet engine and the board
// model both use them.

#include <vetra/vetra_export.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

namespace multicobs {

struct const_words {
    const std::uint32_t *data;
    std::size_t size;
};

struct mutable_words {
    std::uint32_t *data;
    std::size_t size;
};

// Worst-case encoded size in bytes of a packet of `words` words.
constexpr std::size_t max_encoded_size(std::size_t words) noexcept
{
    return 4 * words + 4 * words / 254 + 4;
}

// Encodes the concatenation of `parts` into `out`, which must hold
// max_encoded_size(total words) bytes. Returns the number of bytes written (a multiple of 4),
// or 0 when there are no parts or a part holds no words: such a packet is refused.
VETRA_EXPORT std::size_t encode(const const_words *parts, std::size_t count, std::uint8_t *out);

// Convenience form returning the trimmed encoding (empty when refused).
VETRA_EXPORT std::vector<std::uint8_t> encode(std::initializer_list<const_words> parts);

// The stream id of an encoded packet (delimiter excluded), read from lane 0 without decoding
// the rest. Empty when lane 0's chain of codes runs past the end or the lane-0 byte of word 1
// is zero.
VETRA_EXPORT std::optional<std::uint8_t> peek_stream_id(const std::uint8_t *data, std::size_t size) noexcept;

// Decodes `size` encoded bytes into the fixed buffers in order (each must hold at least one
// word) and then into `rest`, which is resized to receive the remaining words. Fixed buffers
// are filled as far as the packet reaches; the caller zero-fills them beforehand if it cares.
// Returns the number of decoded words, or empty when the encoding is malformed: size not a
// non-zero multiple of 4, a zero byte, an empty fixed buffer, fixed buffers holding L/4 words
// or more, or a lane not ending exactly at the end of a block.
VETRA_EXPORT std::optional<std::size_t> decode(const std::uint8_t *data, std::size_t size,
                                                     const mutable_words *fixed, std::size_t fixed_count,
                                                     std::vector<std::uint32_t> &rest);

// Convenience form: the whole packet in one buffer, or empty when malformed.
VETRA_EXPORT std::optional<std::vector<std::uint32_t>> decode(const std::uint8_t *data, std::size_t size);

} // namespace multicobs
