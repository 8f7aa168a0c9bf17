// multiCOBS over word buffers: split into lanes, COBS per lane, pad, join again.

#include <vetra/multicobs.h>

#include "codec/cobs_lane.h"
#include "codec/lanes.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace multicobs {
namespace {

using detail::lane_slack;

// Four lanes of `lane_size` usable bytes each (plus slack) in one uninitialised block; small
// packets, the common case, stay on the stack.
class lane_set {
public:
    explicit lane_set(std::size_t lane_size) : stride_((lane_size + lane_slack + 15) & ~std::size_t(15))
    {
        std::uint8_t *base = local_;
        if (4 * stride_ > sizeof local_) {
            memory_.reset(new std::uint8_t[4 * stride_]);
            base = memory_.get();
        }
        for (int j = 0; j < 4; ++j)
            lanes_[j] = base + j * stride_;
    }
    lane_set(const lane_set &) = delete;
    lane_set &operator=(const lane_set &) = delete;

    std::uint8_t *const *lanes() const noexcept { return lanes_; }
    std::uint8_t *operator[](int j) const noexcept { return lanes_[j]; }

    // Lane pointers advanced by `offset` bytes.
    void offset(std::size_t offset, std::uint8_t *out[4]) const noexcept
    {
        for (int j = 0; j < 4; ++j)
            out[j] = lanes_[j] + offset;
    }

private:
    std::size_t stride_;
    std::unique_ptr<std::uint8_t[]> memory_;
    std::uint8_t *lanes_[4];
    alignas(16) std::uint8_t local_[4 * 1152];
};

} // namespace

std::size_t encode(const const_words *parts, std::size_t count, std::uint8_t *out)
{
    if (count == 0)
        return 0;
    std::size_t words = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (parts[k].size == 0)
            return 0;
        words += parts[k].size;
    }

    const lane_set plain(words);
    std::size_t offset = 0;
    for (std::size_t k = 0; k < count; ++k) {
        std::uint8_t *at[4];
        plain.offset(offset, at);
        detail::words_to_lanes(parts[k].data, parts[k].size, at);
        offset += parts[k].size;
    }
    for (int j = 0; j < 4; ++j)
        std::memset(plain[j] + words, 0, lane_slack);

    const lane_set coded(detail::max_lane_size(words));
    std::size_t length[4];
    std::size_t longest = 0;
    for (int j = 0; j < 4; ++j) {
        length[j] = detail::encode_lane(plain[j], words, coded[j]);
        longest = std::max(longest, length[j]);
    }
    for (int j = 0; j < 4; ++j)
        std::memset(coded[j] + length[j], 0x01, longest - length[j]);
    detail::lanes_to_words(coded.lanes(), longest, out);
    return 4 * longest;
}

std::vector<std::uint8_t> encode(std::initializer_list<const_words> parts)
{
    std::size_t words = 0;
    for (const auto &p : parts)
        words += p.size;
    std::vector<std::uint8_t> out(max_encoded_size(words));
    out.resize(encode(parts.begin(), parts.size(), out.data()));
    return out;
}

std::optional<std::uint8_t> peek_stream_id(const std::uint8_t *data, std::size_t size) noexcept
{
    if (size <= 4)
        return std::nullopt;
    const std::size_t lane_length = (size + 3) / 4;
    std::size_t p = 0;
    while (p < lane_length) {
        const std::uint8_t c = data[4 * p];
        if (c == 0)
            return std::nullopt;
        p += c;
    }
    if (p != lane_length || data[4] == 0)
        return std::nullopt;
    return data[0] == 1 ? std::uint8_t(0) : data[4];
}

std::optional<std::size_t> decode(const std::uint8_t *data, std::size_t size, const mutable_words *fixed,
                                  std::size_t fixed_count, std::vector<std::uint32_t> &rest)
{
    if (size == 0 || size % 4 != 0)
        return std::nullopt;
    const std::size_t lane_length = size / 4;
    std::size_t fixed_words = 0;
    for (std::size_t k = 0; k < fixed_count; ++k) {
        if (fixed[k].size == 0)
            return std::nullopt;
        fixed_words += fixed[k].size;
    }
    if (fixed_words >= lane_length)
        return std::nullopt;

    const lane_set coded(lane_length);
    if (!detail::bytes_to_lanes_nonzero(data, lane_length, coded.lanes()))
        return std::nullopt;
    for (int j = 0; j < 4; ++j)
        std::memset(coded[j] + lane_length, 0, lane_slack);

    // Padded lanes decode to extra trailing zeros; the shortest lane gives the word count.
    const lane_set plain(lane_length);
    std::size_t words = lane_length;
    for (int j = 0; j < 4; ++j) {
        const std::size_t n = detail::decode_lane(coded[j], lane_length, plain[j]);
        if (n == detail::malformed_lane)
            return std::nullopt;
        words = std::min(words, n);
    }

    std::size_t offset = 0;
    for (std::size_t k = 0; k < fixed_count && offset < words; ++k) {
        const std::size_t n = std::min(fixed[k].size, words - offset);
        std::uint8_t *at[4];
        plain.offset(offset, at);
        detail::lanes_to_words(at, n, reinterpret_cast<std::uint8_t *>(fixed[k].data));
        offset += n;
    }
    rest.resize(words - offset);
    std::uint8_t *at[4];
    plain.offset(offset, at);
    detail::lanes_to_words(at, rest.size(), reinterpret_cast<std::uint8_t *>(rest.data()));
    return words;
}

std::optional<std::vector<std::uint32_t>> decode(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::uint32_t> words;
    if (!decode(data, size, nullptr, 0, words))
        return std::nullopt;
    return words;
}

} // namespace multicobs
