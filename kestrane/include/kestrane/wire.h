#pragma once
// The board's end of the link framing: packets of 32-bit words (stream id header, payload,
// CRC-32C trailer), multiCOBS-encoded and ended by a zero word. Built on vetra's packet codec
// functions, so both ends share one encoding.
//
// FrameReader is a value that keeps the bytes of an unfinished frame; it is not thread-safe
// and belongs to whoever reads the byte stream.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kestrane::wire {

// One packet ready for the byte stream, delimiter included; empty when the payload is empty
// in a way the encoding refuses (never for a non-empty payload).
std::vector<std::uint8_t> encode(std::uint8_t stream, const std::vector<std::uint32_t> &payload);

class FrameReader {
public:
    using PacketHandler = std::function<void(std::uint8_t stream, std::vector<std::uint32_t> payload)>;

    // Consumes bytes; calls `handler` for each complete, intact packet in order. Frames that
    // fail to decode or whose CRC or header is wrong are counted and skipped.
    void feed(const std::uint8_t *data, std::size_t size, const PacketHandler &handler);
    // Forgets a partly received frame (the host went away mid-packet).
    void reset() { frame_.clear(); }

    std::uint64_t packets() const { return packets_; }
    std::uint64_t badFrames() const { return badFrames_; }

private:
    void finishFrame(const PacketHandler &handler);

    std::vector<std::uint8_t> frame_;
    std::uint64_t packets_ = 0;
    std::uint64_t badFrames_ = 0;
};

} // namespace kestrane::wire
