// The receive path of the packet engine: bytes from a device, cut into reads of any size, go
// through the delimiter search, the bound on undelimited bytes, multiCOBS decoding, the
// stream layouts, the CRC check and the dispatch to handlers.
//
// Input: a header byte (the read size and the undelimited-bytes limit), then pieces: either
// raw bytes as they come, or the words of a packet that the harness frames properly, so that
// well-formed packets with a good CRC reach the handlers too.

#include "fuzz_input.h"
#include "sync_transport.h"

#include "pte/pte.h"

#include <vetra/packet_codec.h>

namespace {

// Streams 1 and 2 have layouts (as the memory engine's read half uses); the others none.
const std::vector<std::size_t> layoutOne{3};
const std::vector<std::size_t> layoutTwo{1, 2, 1};

} // namespace

int fuzz_packet_receive(const std::uint8_t *data, std::size_t size)
{
    fuzz::input in(data, size);
    const unsigned header = in.byte();
    const std::size_t chunk = 1 + (header & 0x3F);
    // Limits small enough (the engine's own bound, not the harness's) that overlong packets are
    // reached by short inputs: the smaller one cuts even a framed packet, the larger one only
    // runs of raw bytes.
    const std::size_t limit = (header & 0x40) ? 64 : 256;

    std::vector<std::uint8_t> stream;
    while (!in.empty()) {
        const unsigned kind = in.byte();
        if (kind & 1) {
            const auto raw = in.bytes(kind >> 1);
            stream.insert(stream.end(), raw.begin(), raw.end());
        } else {
            const auto id = static_cast<std::uint8_t>((kind >> 1) & 7);
            const auto payload = in.words(in.byte() & 0x1F);
            const auto frame = packet_codec::encode(id, payload);
            stream.insert(stream.end(), frame.begin(), frame.end());
        }
    }

    auto owned = std::make_unique<sync_transport>();
    sync_transport &transport = *owned;
    std::size_t delivered = 0, errors = 0;
    bool closed = false;
    const auto handler = [&](std::uint8_t id, pte::buffer_list buffers) {
        FUZZ_CHECK(!closed);
        ++delivered;
        const std::vector<std::size_t> *layout = id == 1 ? &layoutOne : id == 2 ? &layoutTwo : nullptr;
        const std::size_t fixed = layout ? layout->size() : 0;
        FUZZ_CHECK(buffers.size() == fixed + 1);
        for (std::size_t k = 0; k < fixed; ++k)
            FUZZ_CHECK(buffers[k] && buffers[k]->size() == (*layout)[k]);
        FUZZ_CHECK(buffers.back());
    };
    {
        pte engine(std::move(owned), handler,
                   [&](std::error_code error, pte::buffer_list) {
                       FUZZ_CHECK(error);
                       ++errors;
                   },
                   {}, {{1, layoutOne}, {2, layoutTwo}});
        engine.set_receive_limit(limit);
        engine.set_stream_handler(3, handler);
        FUZZ_CHECK(!engine.open("fuzz", {}));

        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t n = std::min(chunk, stream.size() - at);
            transport.deliver(stream.data() + at, n);
            // The engine keeps no more than its limit plus what arrived in one read.
            FUZZ_CHECK(transport.buffered() <= limit + chunk + 1);
        }
        // A packet is at least 12 bytes and its delimiter, so there cannot be more of them.
        FUZZ_CHECK(delivered <= stream.size() / 12 + 1);
        transport.lose_link();
        closed = true;
    }
    return 0;
}
