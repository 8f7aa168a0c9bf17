#pragma once
// The binary raw-tag file format (docs/file-formats.md) as pure functions over buffers: the
// file header, self-contained blocks of Rice-coded time deltas with a CRC-32C each, and the
// CSV rows of the text form. No I/O and no threads; safe on any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "tdc/dorrin.h"
#include "tdc/tdcexport.h"

namespace tdcraw {

using measurement = Dorrin::measurement;
using loss = Dorrin::loss;

constexpr char magic[8] = {'T', 'E', 'S', 'S', 'T', 'A', 'G', 'S'};
constexpr std::uint32_t version = 1;
constexpr std::size_t headerFixedBytes = 44;       // before the settings JSON
constexpr std::uint32_t maxSettingsBytes = 1u << 20;
constexpr std::uint32_t blockMagic = 0x4B4C4254;   // "TBLK" in file order
constexpr std::size_t blockHeaderBytes = 28;
constexpr std::size_t crcBytes = 4;
constexpr std::size_t markerBytes = 17;
constexpr std::uint32_t maxBlockPayload = 64u << 20;
constexpr std::uint32_t maxBlockTags = 1u << 20;
// Largest number of bytes one tag can take in a block: channel, escape and a raw delta.
constexpr std::size_t maxRecordBytes = 13;

enum class rawError {
    ok = 0,
    badMagic = 1,        // "Not a raw tag file (wrong magic)"
    badVersion = 2,      // "Raw tag file of an unknown version"
    badHeader = 3,       // "Damaged raw tag file header"
    truncatedHeader = 4, // "Raw tag file header cut short"
    truncatedBlock = 5,  // "Raw tag block cut short"
    badCrc = 6,          // "Raw tag block fails its CRC"
    badBlock = 7,        // "Damaged raw tag block"
    io = 8,              // "Cannot read the raw tag file"
    maxFiles = 9,        // "The maximum number of raw files is reached"
};
TDC_EXPORT const std::error_category &raw_category() noexcept;
TDC_EXPORT std::error_code make_error_code(rawError e) noexcept;

struct FileHeader {
    double tagUnit = 1e-12;          // seconds per tag unit
    std::uint32_t channels = 0;
    std::uint32_t fileNumber = 0;    // place in a split series
    std::int64_t startTimeNs = 0;    // UTC, nanoseconds since 1970-01-01
    std::string settingsJson = "{}";
};

TDC_EXPORT std::vector<std::uint8_t> encodeHeader(const FileHeader &h);
// Parses a header from the start of `data`; on success `used` is its length in bytes.
// rawError::truncatedHeader means more bytes are needed (or the file ends inside it).
TDC_EXPORT std::error_code decodeHeader(const std::uint8_t *data, std::size_t size, FileHeader &h, std::size_t &used);

// Upper bound of a block's encoded size.
constexpr std::size_t maxBlockBytes(std::size_t tags, std::size_t markers)
{
    return blockHeaderBytes + tags * maxRecordBytes + 8 + markers * markerBytes + crcBytes;
}
// Appends one block: `tags` in non-decreasing time order (at most maxBlockTags), then the
// markers. Returns the bytes appended.
TDC_EXPORT std::size_t encodeBlock(const measurement *tags, std::size_t count, const loss *markers, std::size_t markerCount,
                        std::vector<std::uint8_t> &out);
// The same into `out`, which has room for maxBlockBytes(count, markerCount) bytes.
TDC_EXPORT std::size_t encodeBlock(const measurement *tags, std::size_t count, const loss *markers, std::size_t markerCount,
                        std::uint8_t *out);
// The same, given a guess of the block's channel-field width (the last block's, say; 0 for
// none) in `channelBits`, which returns the width used. The bytes do not depend on the guess;
// a right one saves a pass over the tags.
TDC_EXPORT std::size_t encodeBlock(const measurement *tags, std::size_t count, const loss *markers, std::size_t markerCount,
                        std::uint8_t *out, std::uint8_t &channelBits);

// A block's header fields, read before its payload.
struct BlockHeader {
    std::uint32_t payloadBytes = 0;
    std::uint32_t tags = 0;
    std::uint32_t markers = 0;
    std::uint64_t baseTag = 0;
    std::uint8_t riceBits = 0;
    std::uint8_t channelBits = 0;
};
// Checks the 28 header bytes at `data`.
TDC_EXPORT std::error_code decodeBlockHeader(const std::uint8_t *data, BlockHeader &h);
// Decodes a whole block (header, payload, CRC; `size` = total bytes), appending its tags and
// markers. Nothing is appended when it fails.
TDC_EXPORT std::error_code decodeBlock(const std::uint8_t *data, std::size_t size, std::vector<measurement> &tags,
                            std::vector<loss> &markers);

// CSV: the header row, then one "channel,edge,tag" row per tag; markers as "#lost,channel,count,tag".
constexpr const char *csvHeader = "channel,edge,tag\n";
// Appends rows for `count` tags to `out` at `out + used`; `out` must have room for
// count * maxCsvRowBytes. Returns the new `used`.
constexpr std::size_t maxCsvRowBytes = 3 + 1 + 1 + 1 + 20 + 1;
TDC_EXPORT std::size_t appendCsvRows(const measurement *tags, std::size_t count, char *out, std::size_t used);
TDC_EXPORT std::string csvMarker(const loss &l);

// One line of the CSV form read back (without its "\n"): a tag row, a loss marker, or
// neither. Numbers are plain decimal digits that fit 64 bits; channels lie below 64 and
// edges are 1 or 2. Fills `tag` or `marker` accordingly.
enum class CsvRow { tag, marker, bad };
TDC_EXPORT CsvRow parseCsvRow(const char *line, std::size_t size, measurement &tag, loss &marker);

} // namespace tdcraw

namespace std {
template <> struct is_error_code_enum<tdcraw::rawError> : true_type {};
} // namespace std
