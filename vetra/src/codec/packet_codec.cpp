// Packet framing over the multiCOBS code and the CRC.

#include <vetra/packet_codec.h>

#include <vetra/crc32c.h>

#include <cstring>
#include <iterator>

namespace packet_codec {

namespace {

// The usual few parts of a packet fit on the stack; longer lists take the heap.
template <typename T>
class part_list {
public:
    explicit part_list(std::size_t count)
    {
        if (count > std::size(local_)) {
            many_.resize(count);
            parts_ = many_.data();
        }
    }
    T *data() noexcept { return parts_; }
    T &operator[](std::size_t k) noexcept { return parts_[k]; }

private:
    T local_[8];
    std::vector<T> many_;
    T *parts_ = local_;
};

std::size_t first_nonzero(const std::uint8_t *p, std::size_t n) noexcept
{
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + i, sizeof v);
        if (v != 0)
            break;
    }
    for (; i < n; ++i)
        if (p[i] != 0)
            return i;
    return n;
}

} // namespace

std::size_t encode(std::uint8_t stream, const const_words *payload, std::size_t count, std::uint8_t *out) noexcept
{
    const std::uint32_t header = stream;
    part_list<const_words> parts(count + 2);
    parts[0] = {&header, 1};
    std::uint32_t crc = crc32c::extend_words(0, &header, 1);
    for (std::size_t k = 0; k < count; ++k) {
        if (payload[k].size == 0)
            return 0;
        parts[k + 1] = payload[k];
        crc = crc32c::extend_words(crc, payload[k].data, payload[k].size);
    }
    parts[count + 1] = {&crc, 1};
    const std::size_t size = multicobs::encode(parts.data(), count + 2, out);
    if (size == 0)
        return 0;
    std::memset(out + size, 0, delimiter_bytes);
    return size + delimiter_bytes;
}

std::vector<std::uint8_t> encode(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
{
    std::vector<std::uint8_t> out(max_frame_size(payload.size()));
    const const_words part{payload.data(), payload.size()};
    out.resize(encode(stream, &part, payload.empty() ? 0 : 1, out.data()));
    return out;
}

frame trim(const std::uint8_t *data, std::size_t size) noexcept
{
    const std::size_t first = first_nonzero(data, size);
    std::size_t last = size;
    while (last > first && data[last - 1] == 0)
        --last;
    return {data + first, last - first};
}

std::error_code peek(frame encoded, std::uint8_t &stream) noexcept
{
    if (encoded.size < min_frame_bytes)
        return pte_packet_error::packet_too_short;
    const auto id = multicobs::peek_stream_id(encoded.data, encoded.size);
    if (!id)
        return pte_packet_error::malformed_multicobs;
    stream = *id;
    return {};
}

std::error_code decode(frame encoded, const storage &into)
{
    part_list<mutable_words> fixed(into.fixed_count + 1);
    fixed[0] = {into.header, 1};
    std::size_t fixed_words = 1;
    for (std::size_t k = 0; k < into.fixed_count; ++k) {
        fixed[k + 1] = into.fixed[k];
        fixed_words += into.fixed[k].size;
    }
    const auto decoded = multicobs::decode(encoded.data, encoded.size, fixed.data(), into.fixed_count + 1, *into.rest);
    if (!decoded)
        return pte_packet_error::malformed_multicobs;
    // The CRC word must follow the fixed buffers.
    if (*decoded <= fixed_words)
        return pte_packet_error::packet_too_short;
    return {};
}

std::error_code verify(const storage &decoded)
{
    std::vector<std::uint32_t> &rest = *decoded.rest;
    if (rest.empty())
        return pte_packet_error::packet_too_short;
    const std::uint32_t received = rest.back();
    rest.pop_back();
    std::uint32_t crc = crc32c::extend_words(0, decoded.header, 1);
    for (std::size_t k = 0; k < decoded.fixed_count; ++k)
        crc = crc32c::extend_words(crc, decoded.fixed[k].data, decoded.fixed[k].size);
    crc = crc32c::extend_words(crc, rest.data(), rest.size());
    return crc == received ? std::error_code() : make_error_code(pte_packet_error::bad_crc);
}

std::error_code decode(const std::uint8_t *data, std::size_t size, packet &out)
{
    const frame encoded = trim(data, size);
    if (const std::error_code error = peek(encoded, out.stream))
        return error;
    const storage into{&out.header, nullptr, 0, &out.payload};
    if (const std::error_code error = decode(encoded, into))
        return error;
    return verify(into);
}

} // namespace packet_codec
