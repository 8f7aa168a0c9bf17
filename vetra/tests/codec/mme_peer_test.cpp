// The memory engine over the in-memory transport with a peer that answers the way the board
// does: transaction ids beyond sixteen bits, responses without a status word, and the edges of
// the address ranges that take unsolicited messages.

#include "memory_transport.h"
#include "mme/mme.h"
#include "pte/pte.h"

#include <vetra/packet_codec.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <string>
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
    std::atomic<bool> with_status{true}; // false: responses end without their status word

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
        if (with_status)
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

    explicit memory_over_memory(mme_common::read_handler defaultRead = {})
    {
        auto owned = std::make_unique<memory_transport>(false, std::size_t(1) << 20, false);
        transport = owned.get();
        peer.transport = transport;
        transport->set_peer([this](const std::vector<std::uint8_t> &bytes) { peer(bytes); });
        packets = std::make_unique<pte>(std::move(owned), pte::stream_handler{}, pte::error_handler{});
        EXPECT_FALSE(packets->open("memory", {}));
        memory = std::make_unique<mme>(*packets, readStream, writeStream, 5s, std::move(defaultRead));
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

TEST(MemoryEngineStatus, AResponseWithoutItsStatusWordIsNoSuccess)
{
    memory_over_memory link;
    link.peer.with_status = false;
    const auto one = std::make_shared<const std::vector<std::uint32_t>>(1, 7u);
    auto read = link.memory->readFuture(0x2000, 2, BurstType::INCREMENTING, {});
    auto write = link.memory->writeFuture(0x3000, one, BurstType::INCREMENTING, {});
    ASSERT_EQ(read.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(write.wait_for(5s), std::future_status::ready);
    auto data = read.get();
    EXPECT_EQ(data.first, make_error_code(mme_error::unknown_error)) << data.first.message();
    EXPECT_EQ(write.get(), make_error_code(mme_error::unknown_error));

    link.peer.with_status = true;
    auto again = link.memory->readFuture(0x2000, 1, BurstType::INCREMENTING, {});
    ASSERT_EQ(again.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(again.get().first) << "with its status word the same response succeeds";
}

TEST(MemoryEngineRanges, UnsolicitedMessagesGoToTheRangeThatHoldsTheirAddressOnly)
{
    std::mutex m;
    std::condition_variable changed;
    std::vector<std::pair<std::string, std::uint32_t>> seen;
    const auto recorder = [&](std::string who) {
        return [&, who](std::uint32_t address, std::unique_ptr<std::vector<std::uint32_t>>, BurstType,
                        std::error_code, std::uint32_t) {
            std::lock_guard<std::mutex> lock(m);
            seen.emplace_back(who, address);
            changed.notify_all();
        };
    };
    memory_over_memory link(recorder("default"));
    ASSERT_TRUE(link.memory->setRangeHandlers(0x100, 0x1FF, recorder("range"), {}));
    ASSERT_TRUE(link.memory->setRangeHandlers(0x300, 0x300, recorder("single"), {}));
    for (std::uint32_t address : {0xFFu, 0x100u, 0x1FFu, 0x200u, 0x2FFu, 0x300u, 0x301u})
        link.transport->feed(packet_codec::encode(readStream, {0x80000000u | address, address, 1, 0xAB, 8}));
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(changed.wait_for(lock, 5s, [&] { return seen.size() == 7; }));
    const std::vector<std::pair<std::string, std::uint32_t>> expected{
        {"default", 0xFF}, {"range", 0x100}, {"range", 0x1FF}, {"default", 0x200},
        {"default", 0x2FF}, {"single", 0x300}, {"default", 0x301}};
    EXPECT_EQ(seen, expected);
}

} // namespace
