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
#include <thread>

namespace {

using namespace std::chrono_literals;
using mme_common::BurstType;

constexpr std::uint8_t readStream = 1;
constexpr std::uint8_t writeStream = 2;
constexpr std::uint32_t responseBit = 1u << 25;

// Answers every request that asks for a response the way the board does: reads with the
// words address, address + 1, ..., writes with their header; both with status "ok". Records
// the ids of the requests it answered.
struct answering_peer {
    memory_transport *transport = nullptr;
    std::mutex mutex;
    std::vector<std::uint32_t> answered_ids;
    std::atomic<std::size_t> requests{0};

    void operator()(const std::vector<std::uint8_t> &bytes)
    {
        packet_codec::packet p;
        if (packet_codec::decode(bytes.data(), bytes.size(), p) || p.payload.size() < 3)
            return;
        ++requests;
        const bool read = p.stream == readStream;
        const std::uint32_t id = p.payload[0];
        const std::uint32_t address = p.payload[1];
        const std::uint32_t control = p.payload[2];
        if (!read && !(control & responseBit))
            return;
        std::vector<std::uint32_t> response{id, address, control & ~responseBit};
        for (std::uint32_t i = 0; read && i < (control & 0x1FFFFF); ++i)
            response.push_back(address + i);
        response.push_back(8);
        {
            std::lock_guard<std::mutex> lock(mutex);
            answered_ids.push_back(id);
        }
        transport->feed(packet_codec::encode(p.stream, response));
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
    const auto one = std::make_shared<const std::vector<std::uint32_t>>(1, 7u);

    // Each half (reads, writes) numbers its requests for the whole process: walk the write half
    // to the next multiple of 65 536 with writes that want no response, so nothing stays pending.
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

    // The next writes carry ids whose low sixteen bits start again at zero; a read beside them
    // keeps its own numbering.
    auto first = link.memory->writeFuture(0x1000, one, BurstType::INCREMENTING, {});
    auto read = link.memory->readFuture(0x2000, 2, BurstType::INCREMENTING, {});
    auto second = link.memory->writeFuture(0x3000, one, BurstType::INCREMENTING, {});
    sent += 3;
    ASSERT_EQ(first.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(read.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(second.wait_for(5s), std::future_status::ready);
    const std::error_code a = first.get();
    const std::error_code b = second.get();
    EXPECT_FALSE(a) << a.message();
    EXPECT_FALSE(b) << b.message();
    auto data = read.get();
    EXPECT_FALSE(data.first) << data.first.message();
    ASSERT_TRUE(data.second);
    EXPECT_EQ(*data.second, (std::vector<std::uint32_t>{0x2000, 0x2001}));
    {
        std::lock_guard<std::mutex> lock(link.peer.mutex);
        ASSERT_EQ(link.peer.answered_ids.size(), 3u);
        EXPECT_EQ(link.peer.answered_ids[0], id + 1) << "the full id goes on the wire";
        EXPECT_EQ(link.peer.answered_ids[2], id + 2);
        EXPECT_EQ(link.peer.answered_ids[0] & 0xFFFFu, 0u);
    }
    EXPECT_EQ(link.memory->pendingWrites(), 0u);
    EXPECT_EQ(link.memory->pendingReads(), 0u);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (link.peer.requests.load() < sent && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(link.peer.requests.load(), sent);
}

} // namespace
