#pragma once
// The link's packet framing, both directions, as pure functions over caller-supplied storage.
//
// A packet is the header word (stream id in bits 0-7), the payload words and the CRC-32C of
// both; the whole is multiCOBS-encoded and followed by one zero word, the only delimiter.
//
// Encoding writes into the caller's buffer; decoding writes into buffers the caller has
// sized from the stream's layout, so a host engine that reuses storage, a board model and a
// test board all frame packets the same way with whatever allocation policy suits them.
// Safe on any thread; nothing here keeps state.

#include <vetra/multicobs.h>
#include <vetra/pte_error.h>
#include <vetra/vetra_export.h>

#include <cstddef>
#include <cstdint>
#include <system_error>
#include <vector>

namespace packet_codec {

using multicobs::const_words;
using multicobs::mutable_words;

// The zero word that ends every frame.
constexpr std::size_t delimiter_bytes = 4;
// Header and CRC alone encode to 12 bytes; anything with fewer than 10 non-zero bytes is
// reported as too short rather than as a bad encoding.
constexpr std::size_t min_frame_bytes = 10;

// Largest frame, delimiter included, of a packet with `payload_words` payload words.
constexpr std::size_t max_frame_size(std::size_t payload_words) noexcept
{
    return multicobs::max_encoded_size(payload_words + 2) + delimiter_bytes;
}

// Encodes the packet of `stream` with the concatenation of `payload` (may be empty: header
// and CRC only) into `out`, which holds max_frame_size(total payload words) bytes. Returns
// the bytes written, delimiter included, or 0 when a payload part holds no words: such a
// packet is refused.
VETRA_EXPORT std::size_t encode(std::uint8_t stream, const const_words *payload, std::size_t count,
                                std::uint8_t *out) noexcept;

// Convenience form into a fresh buffer; an empty payload encodes header and CRC only.
VETRA_EXPORT std::vector<std::uint8_t> encode(std::uint8_t stream, const std::vector<std::uint32_t> &payload);

// The encoded bytes of one frame: what lies between delimiters, without leading or trailing
// zero bytes.
struct frame {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
};

// Trims the zero bytes around a received region (the rest of the previous delimiter, idle
// fill, the delimiter itself).
VETRA_EXPORT frame trim(const std::uint8_t *data, std::size_t size) noexcept;

// Checks the frame's length and reads its stream id from lane 0 without decoding the rest,
// so that the caller can size storage for the stream's layout. Errors: packet_too_short,
// malformed_multicobs.
VETRA_EXPORT std::error_code peek(frame encoded, std::uint8_t &stream) noexcept;

// Where a decoded packet goes: the header word, the stream's fixed buffers (in layout order,
// each at least one word) and `rest`, which receives every remaining word and is resized to
// fit. After a successful decode the CRC word is still the last word of `rest`.
struct storage {
    std::uint32_t *header = nullptr;
    const mutable_words *fixed = nullptr;
    std::size_t fixed_count = 0;
    std::vector<std::uint32_t> *rest = nullptr;
};

// Decodes the frame into `into`. Errors: malformed_multicobs; packet_too_short when the
// packet ends before the fixed buffers and the CRC word have all been filled.
VETRA_EXPORT std::error_code decode(frame encoded, const storage &into);

// Takes the CRC word off the end of `rest` and compares it with the CRC of the header, the
// fixed buffers and what remains in `rest`. Error: bad_crc (the words stay as decoded).
// Separate from decode so that a receiver can release the encoded bytes first.
VETRA_EXPORT std::error_code verify(const storage &decoded);

// One whole packet in one buffer: for boards and tests that need no layout.
struct packet {
    std::uint32_t header = 0;
    std::uint8_t stream = 0;
    std::vector<std::uint32_t> payload;
};

// trim, peek, decode and verify in one call.
VETRA_EXPORT std::error_code decode(const std::uint8_t *data, std::size_t size, packet &out);

} // namespace packet_codec
