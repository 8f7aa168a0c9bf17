// The memory engine's side of the receive path: responses matched to pending reads and
// writes by transaction id, unsolicited messages routed by address range, and whatever else a
// device may send on the two memory streams (unknown ids, short packets, no status word).
//
// Input: a list of operations (issue a read or write, register an address range, answer on
// either stream with an id that is pending, unsolicited or made up, raw bytes, complete the
// writes); the answers are framed properly so they reach the matching code.

#include "fuzz_input.h"
#include "sync_transport.h"

#include "mme/mme.h"
#include "pte/pte.h"

#include <vetra/packet_codec.h>

#include <map>

namespace {

constexpr std::uint8_t readStream = 1;
constexpr std::uint8_t writeStream = 2;
constexpr std::uint32_t unsolicited = 1u << 31;

struct Ledger {
    std::vector<std::uint32_t> reads, writes;
    // (read?, id) -> handler calls; reads and writes count their ids apart.
    std::map<std::pair<bool, std::uint32_t>, int> answered;
    bool closed = false;

    void answer(bool read, std::uint32_t id)
    {
        FUZZ_CHECK(!closed);
        // A transaction ends once: by its response, or never (the engine is torn down).
        FUZZ_CHECK(++answered[{read, id}] == 1);
    }
};

} // namespace

int fuzz_memory_engine(const std::uint8_t *data, std::size_t size)
{
    fuzz::input in(data, size);
    Ledger ledger;
    auto owned = std::make_unique<sync_transport>();
    sync_transport &transport = *owned;
    pte engine(std::move(owned), {}, {});
    FUZZ_CHECK(!engine.open("fuzz", {}));
    {
        mme memory(engine, readStream, writeStream, std::chrono::milliseconds(0));

        const mme_common::read_handler onRead = [&](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>> words,
                                                    mme_common::BurstType, std::error_code, std::uint32_t id) {
            FUZZ_CHECK(words != nullptr);
            ledger.answer(true, id);
        };
        const mme_common::write_handler onWrite = [&](std::uint32_t, std::uint32_t, mme_common::BurstType,
                                                      std::error_code, std::uint32_t id) { ledger.answer(false, id); };

        std::size_t operations = 0;
        while (!in.empty() && ++operations < 256) {
            switch (in.below(7)) {
            case 0: {
                const std::uint32_t address = in.word();
                ledger.reads.push_back(
                    memory.read(address, 1 + in.below(8), mme_common::BurstType(in.below(2)), onRead, {}));
                break;
            }
            case 1: {
                const std::uint32_t address = in.word();
                auto words = std::make_shared<std::vector<std::uint32_t>>(1 + in.below(4), in.word());
                ledger.writes.push_back(
                    memory.write(address, words, mme_common::BurstType(in.below(2)), onWrite, {}));
                break;
            }
            case 2: {
                const std::uint32_t first = in.word();
                const std::uint32_t last = first + in.byte();
                if (last < first)
                    break;
                memory.setRangeHandlers(
                    first, last,
                    [&ledger, first, last](std::uint32_t address, std::unique_ptr<std::vector<std::uint32_t>> words,
                                           mme_common::BurstType, std::error_code, std::uint32_t) {
                        FUZZ_CHECK(!ledger.closed);
                        FUZZ_CHECK(words != nullptr);
                        FUZZ_CHECK(address >= first && address <= last);
                    },
                    [&ledger, first, last](std::uint32_t address, std::uint32_t, mme_common::BurstType,
                                           std::error_code, std::uint32_t) {
                        FUZZ_CHECK(!ledger.closed);
                        FUZZ_CHECK(address >= first && address <= last);
                    });
                break;
            }
            case 3:
            case 4: {
                const bool read = in.byte() & 1;
                const auto &issued = read ? ledger.reads : ledger.writes;
                const unsigned pick = in.byte();
                std::uint32_t id;
                if (pick < 128 && !issued.empty())
                    id = issued[pick % issued.size()];
                else if (pick < 192 && !issued.empty())
                    id = issued[pick % issued.size()] | unsolicited;
                else
                    id = in.word();
                std::vector<std::uint32_t> payload{id};
                const auto rest = in.words(in.below(8));
                payload.insert(payload.end(), rest.begin(), rest.end());
                const auto frame = packet_codec::encode(read ? readStream : writeStream, payload);
                transport.deliver(frame.data(), frame.size());
                break;
            }
            case 5: {
                const auto raw = in.bytes(in.byte());
                transport.deliver(raw.data(), raw.size());
                break;
            }
            default:
                transport.finish_writes();
                break;
            }
        }
        transport.finish_writes();
        // What is still pending when the engine goes is dropped without a call.
        ledger.closed = true;
    }
    transport.lose_link();
    return 0;
}
