// Transaction ids of the memory engine beyond sixteen bits, over the in-memory transport with a
// peer that answers reads the way the board does.

#include "memory_transport.h"
#include "mme/mme.h"
#include "pte/pte.h"

#include <vetra/packet_codec.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

namespace {

using namespace std::chrono_literals;
using mme_common::BurstType;

constexpr std::uint8_t readStream = 1;
constexpr std::uint8_t writeStream = 2;
constexpr std::uint32_t responseBit = 1u << 25;

// Answers every read with the words address, address + 1, ... and status "ok"; writes are
// only counted. Records the ids it saw on the read stream.
struct answering_peer {
    memory_transport *transport = nullptr;
    std::mutex mutex;
    std::vector<std::uint32_t> read_ids;
    std::atomic<std::size_t> writes{0};

    void operator()(const std::vector<std::uint8_t> &bytes)
    {
        packet_codec::packet p;
        if (packet_codec::decode(bytes.data(), bytes.size(), p) || p.payload.size() < 3)
            return;
        if (p.stream != readStream) {
            ++writes;
            return;
        }
        const std::uint32_t id = p.payload[0];
        const std::uint32_t address = p.payload[1];
        const std::uint32_t control = p.payload[2];
        std::vector<std::uint32_t> response{id, address, control & ~responseBit};
        for (std::uint32_t i = 0; i < (control & 0x1FFFFF); ++i)
            response.push_back(address + i);
        response.push_back(8);
        {
            std::lock_guard<std::mutex> lock(mutex);
            read_ids.push_back(id);
        }
        transport->feed(packet_codec::encode(readStream, response));
    }
};

struct memory_over_memory {
    answering_peer peer;
    memory_transport *transport = nullptr;
    std::unique_ptr<pte> packets;
    std::unique_ptr<mme> memory;

    memory_over_memory()
    {
        auto owned = std::make_unique<memory_transport>(false, std::size_t(1) << 20, false);
        transport = owned.get();
        peer.transport = transport;
        transport->set_peer([this](const std::vector<std::uint8_t> &bytes) { peer(bytes); });
        packets = std::make_unique<pte>(std::move(owned), pte::stream_handler{}, pte::error_handler{});
        EXPECT_FALSE(packets->open("memory", {}));
        memory = std::make_unique<mme>(*packets, readStream, writeStream, 5s);
    }
    ~memory_over_memory()
    {
        memory.reset();
        transport->close();
        packets.reset();
    }
};

TEST(MemoryEngineIds, IdsCountOnPastSixteenBitsAndStillFindTheirResponses)
{
    memory_over_memory link;
    const auto one = std::make_shared<const std::vector<std::uint32_t>>(1, 0u);

    // Ids are shared by every engine of the process: walk to the next multiple of 65 536 with
    // writes that want no response, so nothing stays pending.
    std::uint32_t id = link.memory->write(0x40, one, BurstType::INCREMENTING, mme_common::write_handler{}, {});
    std::size_t sent = 1;
    while (((id + 1) & 0xFFFFu) != 0) {
        const std::uint32_t next =
            link.memory->write(0x40, one, BurstType::INCREMENTING, mme_common::write_handler{}, {});
        ASSERT_EQ(next, id + 1) << "ids count up by one";
        id = next;
        ++sent;
    }
    ASSERT_GE(id, 0xFFFFu);
    EXPECT_EQ(link.memory->pendingWrites(), 0u);

    // The next reads carry ids whose low sixteen bits start again at zero.
    auto first = link.memory->readFuture(0x1000, 2, BurstType::INCREMENTING, {});
    auto second = link.memory->readFuture(0x2000, 1, BurstType::INCREMENTING, {});
    ASSERT_EQ(first.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(second.wait_for(5s), std::future_status::ready);
    auto a = first.get();
    auto b = second.get();
    EXPECT_FALSE(a.first) << a.first.message();
    EXPECT_FALSE(b.first) << b.first.message();
    ASSERT_TRUE(a.second && b.second);
    EXPECT_EQ(*a.second, (std::vector<std::uint32_t>{0x1000, 0x1001}));
    EXPECT_EQ(*b.second, (std::vector<std::uint32_t>{0x2000}));
    {
        std::lock_guard<std::mutex> lock(link.peer.mutex);
        ASSERT_EQ(link.peer.read_ids.size(), 2u);
        EXPECT_EQ(link.peer.read_ids[0], id + 1);
        EXPECT_EQ(link.peer.read_ids[1], id + 2);
        EXPECT_EQ(link.peer.read_ids[0] & 0xFFFFu, 0u);
    }
    EXPECT_EQ(link.memory->pendingReads(), 0u);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (link.peer.writes.load() < sent && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(link.peer.writes.load(), sent);
}

} // namespace
