#include "kestrane/wire.h"

#include <vetra/crc32c.h>
#include <vetra/multicobs.h>

namespace kestrane::wire {

namespace {
// Header, at least nothing, trailer: a frame shorter than this cannot be a packet.
constexpr std::size_t minFrameBytes = 12;
// A board never accepts requests this long; a stream of garbage without zero bytes must not
// grow the buffer without bound.
constexpr std::size_t maxFrameBytes = 64u << 20;
} // namespace

std::vector<std::uint8_t> encode(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
{
    const std::uint32_t header = stream;
    std::uint32_t crc = crc32c::extend_words(0, &header, 1);
    if (!payload.empty())
        crc = crc32c::extend_words(crc, payload.data(), payload.size());
    std::vector<multicobs::const_words> parts;
    parts.push_back({&header, 1});
    if (!payload.empty())
        parts.push_back({payload.data(), payload.size()});
    parts.push_back({&crc, 1});

    std::vector<std::uint8_t> out(multicobs::max_encoded_size(payload.size() + 2) + 4);
    const std::size_t n = multicobs::encode(parts.data(), parts.size(), out.data());
    if (n == 0)
        return {};
    out.resize(n + 4, 0); // the zero word that ends the packet
    for (std::size_t i = n; i < n + 4; ++i)
        out[i] = 0;
    return out;
}

void FrameReader::feed(const std::uint8_t *data, std::size_t size, const PacketHandler &handler)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0) {
            if (frame_.size() < maxFrameBytes)
                frame_.push_back(data[i]);
            continue;
        }
        if (!frame_.empty())
            finishFrame(handler);
    }
}

void FrameReader::finishFrame(const PacketHandler &handler)
{
    std::vector<std::uint8_t> frame;
    frame.swap(frame_);
    if (frame.size() < minFrameBytes || frame.size() >= maxFrameBytes) {
        ++badFrames_;
        return;
    }
    auto words = multicobs::decode(frame.data(), frame.size());
    if (!words || words->size() < 2) {
        ++badFrames_;
        return;
    }
    std::vector<std::uint32_t> &w = *words;
    const std::uint32_t crc = w.back();
    if (crc32c::extend_words(0, w.data(), w.size() - 1) != crc || (w[0] & 0xFFFFFF00u) != 0) {
        ++badFrames_;
        return;
    }
    const auto stream = static_cast<std::uint8_t>(w[0] & 0xFF);
    std::vector<std::uint32_t> payload(w.begin() + 1, w.end() - 1);
    ++packets_;
    handler(stream, std::move(payload));
}

} // namespace kestrane::wire
