#include "kestrane/wire.h"

#include <vetra/packet_codec.h>

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
    return packet_codec::encode(stream, payload);
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
    packet_codec::packet packet;
    // Bits 8-31 of the header belong to no stream: a host never sets them.
    if (packet_codec::decode(frame.data(), frame.size(), packet) || (packet.header & 0xFFFFFF00u) != 0) {
        ++badFrames_;
        return;
    }
    ++packets_;
    handler(packet.stream, std::move(packet.payload));
}

} // namespace kestrane::wire
