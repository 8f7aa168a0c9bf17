#pragma once
// Reads a binary raw-tag file block by block, checking every block's CRC. Damage stops the
// reading at the damaged block with an error naming the block and its byte offset; every
// block before it has been delivered. A file cut off inside a block (a killed writer, a full
// disk) reads up to its last complete block and then reports the cut.
//
// A value owned by its caller; one thread at a time.

#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "tdc/rawformat.h"

namespace tdcraw {

class TDC_EXPORT Reader {
public:
    Reader() = default;
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // Opens the file and reads its header.
    std::error_code open(const std::string &path);
    const FileHeader &header() const { return header_; }

    // Appends the next block's tags and markers. At the clean end of the file it returns no
    // error and sets `end`.
    std::error_code next(std::vector<measurement> &tags, std::vector<loss> &markers, bool &end);

    // Blocks read so far, and the byte offset of the next one.
    std::uint64_t blocks() const { return blocks_; }
    std::uint64_t offset() const { return offset_; }
    // The last error as a sentence naming the file, the block and its offset.
    const std::string &errorText() const { return errorText_; }
    // Memory held for the block being read. It grows with the bytes the file actually gives,
    // not with what a length field claims, so a cut file costs no more than it holds.
    std::size_t bufferBytes() const { return buffer_.capacity(); }

private:
    std::error_code fail(std::error_code ec, bool inHeader);

    std::FILE *file_ = nullptr;
    std::string path_;
    FileHeader header_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t blocks_ = 0;
    std::uint64_t offset_ = 0;
    std::string errorText_;
};

} // namespace tdcraw
