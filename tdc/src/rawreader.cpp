#include "tdc/rawreader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tdcraw {

namespace {

// Reads up to `want` more bytes onto the end of `buffer`, growing it only as the bytes arrive:
// a length field is the file's claim, and a cut or damaged file may claim far more than it
// holds. Returns the bytes read.
std::size_t readGrowing(std::FILE *file, std::vector<std::uint8_t> &buffer, std::size_t want)
{
    constexpr std::size_t firstStep = 64 * 1024;
    const std::size_t start = buffer.size();
    std::size_t have = 0;
    while (have < want) {
        const std::size_t step = std::min(want - have, std::max(firstStep, start + have));
        buffer.resize(start + have + step);
        const std::size_t got = std::fread(buffer.data() + start + have, 1, step, file);
        have += got;
        if (got < step)
            break;
    }
    buffer.resize(start + have);
    return have;
}

} // namespace

Reader::~Reader()
{
    if (file_)
        std::fclose(file_);
}

std::error_code Reader::fail(std::error_code ec, bool inHeader)
{
    if (inHeader)
        errorText_ = path_ + ": header: " + ec.message();
    else
        errorText_ = path_ + ": block " + std::to_string(blocks_) + " at byte " + std::to_string(offset_) + ": " +
                     ec.message();
    return ec;
}

std::error_code Reader::open(const std::string &path)
{
    if (file_)
        std::fclose(file_);
    path_ = path;
    blocks_ = 0;
    offset_ = 0;
    errorText_.clear();
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        const int e = errno;
        errorText_ = path + ": " + std::strerror(e);
        return std::error_code(e, std::generic_category());
    }
    buffer_.resize(headerFixedBytes);
    std::size_t got = std::fread(buffer_.data(), 1, headerFixedBytes, file_);
    std::size_t used = 0;
    auto ec = decodeHeader(buffer_.data(), got, header_, used);
    if (ec == rawError::truncatedHeader && got == headerFixedBytes) {
        std::uint32_t total = 0;
        std::memcpy(&total, buffer_.data() + 12, 4);
        if (total > headerFixedBytes + maxSettingsBytes + crcBytes)
            return fail(rawError::badHeader, true);
        got += readGrowing(file_, buffer_, total - headerFixedBytes);
        ec = decodeHeader(buffer_.data(), got, header_, used);
    }
    if (ec)
        return fail(ec, true);
    offset_ = used;
    return {};
}

std::error_code Reader::next(std::vector<measurement> &tags, std::vector<loss> &markers, bool &end)
{
    end = false;
    if (!file_) {
        errorText_ = path_ + ": not open";
        return rawError::io;
    }
    buffer_.resize(blockHeaderBytes);
    const std::size_t got = std::fread(buffer_.data(), 1, blockHeaderBytes, file_);
    if (got == 0 && std::feof(file_)) {
        end = true;
        return {};
    }
    if (std::ferror(file_))
        return fail(rawError::io, false);
    if (got < blockHeaderBytes)
        return fail(rawError::truncatedBlock, false);
    BlockHeader h;
    if (const auto ec = decodeBlockHeader(buffer_.data(), h))
        return fail(ec, false);
    const std::size_t total = blockHeaderBytes + h.payloadBytes + crcBytes;
    const std::size_t rest = readGrowing(file_, buffer_, total - blockHeaderBytes);
    if (rest < total - blockHeaderBytes)
        return fail(std::ferror(file_) ? rawError::io : rawError::truncatedBlock, false);
    if (const auto ec = decodeBlock(buffer_.data(), total, tags, markers))
        return fail(ec, false);
    ++blocks_;
    offset_ += total;
    return {};
}

} // namespace tdcraw
