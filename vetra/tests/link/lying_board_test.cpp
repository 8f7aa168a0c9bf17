// A board that lies: damaged frames, wrong CRCs, packets too short to mean anything,
// responses to transactions nobody asked for, huge unsolicited bursts. The engines report or
// count each lie, drop it, and the genuine answers that follow still reach their requests.

#include "board_sim.h"

#include "mme/mme.h"
#include "pte/pte.h"
#include "transport/async_serial.h"

#include <vetra/multicobs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

using mme_common::BurstType;

constexpr std::uint8_t readStream = 1;
constexpr std::uint8_t writeStream = 2;

class lying_board : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto port = std::make_unique<async_serial>();
        transport = port.get();
        engine = std::make_unique<pte>(std::move(port), pte::stream_handler{},
                                       [this](std::error_code ec, pte::buffer_list) {
                                           std::lock_guard<std::mutex> lock(mutex);
                                           errors.push_back(ec);
                                       });
        ASSERT_FALSE(engine->open(board.portName(), {}));
        board.releaseSlave();
        memory = std::make_unique<mme>(*engine, readStream, writeStream, 10s);
    }
    void TearDown() override
    {
        memory.reset();
        transport->close();
        engine.reset();
    }

    std::size_t reported(pte_packet_error e)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<std::size_t>(std::count(errors.begin(), errors.end(), make_error_code(e)));
    }
    std::size_t reportedTotal()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return errors.size();
    }

    // A read that must complete, with the words the standard responder gives.
    void expectGenuineRead(std::uint32_t address, std::uint32_t count)
    {
        auto future = memory->readFuture(address, count, BurstType::INCREMENTING, {});
        ASSERT_EQ(future.wait_for(10s), std::future_status::ready) << "read at " << address << " never completed";
        auto [ec, data] = future.get();
        ASSERT_FALSE(ec) << ec.message();
        ASSERT_TRUE(data);
        ASSERT_EQ(data->size(), count);
        for (std::uint32_t i = 0; i < count; ++i)
            EXPECT_EQ((*data)[i], address + i);
    }

    // {stream, payload, CRC} encoded with the CRC spoiled, delimiter appended.
    static std::vector<std::uint8_t> withWrongCrc(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
    {
        auto words = board_sim::logicalPacket(stream, payload);
        words.back() ^= 0x00010000u;
        auto bytes = multicobs::encode({{words.data(), words.size()}});
        bytes.insert(bytes.end(), 4, 0);
        return bytes;
    }

    board_sim board;
    async_serial *transport = nullptr;
    std::unique_ptr<pte> engine;
    std::unique_ptr<mme> memory;
    std::mutex mutex;
    std::vector<std::error_code> errors;
};

TEST_F(lying_board, EveryLieIsReportedOrCountedAndTheGenuineAnswersStillArrive)
{
    board.setScript([](board_sim &b, const board_sim::packet &p) {
        if (p.stream != readStream || p.payload.size() < 3)
            return false;
        const std::uint32_t id = p.payload[0];
        const std::uint32_t address = p.payload[1];
        const std::uint32_t count = p.payload[2] & 0x1FFFFF;
        std::vector<std::uint32_t> answer = {id, address, count};
        for (std::uint32_t i = 0; i < count; ++i)
            answer.push_back(address + i);
        answer.push_back(8);
        // Line noise: bytes that are no multiCOBS encoding at all.
        std::vector<std::uint8_t> noise(24, 0x07);
        noise.insert(noise.end(), 4, 0);
        b.sendBytes(noise);
        // The right answer, its CRC spoiled on the way.
        b.sendBytes(withWrongCrc(readStream, answer));
        // A response cut short before its header ends.
        b.send(readStream, {id, address});
        // An answer to a transaction never asked for, and one on the write stream too short
        // for a header.
        auto stray = answer;
        stray[0] = id ^ 0x00100000u;
        b.send(readStream, stray);
        b.send(writeStream, {id, address});
        // Finally the truth.
        b.send(readStream, answer);
        return true;
    });
    constexpr std::uint32_t reads = 12;
    for (std::uint32_t r = 0; r < reads; ++r)
        expectGenuineRead(0x100 * r, 1 + r);

    EXPECT_EQ(reported(pte_packet_error::bad_crc), reads);
    EXPECT_EQ(reported(pte_packet_error::packet_too_short), reads);
    EXPECT_EQ(reported(pte_packet_error::malformed_multicobs), reads);
    EXPECT_EQ(reportedTotal(), 3 * reads);
    EXPECT_EQ(memory->droppedResponses(), 2 * reads);
    EXPECT_EQ(memory->pendingReads(), 0u);
}

TEST_F(lying_board, AnswersAfterTheTimeOutAreDroppedAndCounted)
{
    std::mutex m;
    std::vector<board_sim::packet> held;
    board.setScript([&](board_sim &, const board_sim::packet &p) {
        std::lock_guard<std::mutex> lock(m);
        held.push_back(p);
        return true;
    });
    memory->setTimeout(50ms);
    auto future = memory->readFuture(0x40, 2, BurstType::INCREMENTING, {});
    ASSERT_EQ(future.wait_for(10s), std::future_status::ready) << "the time-out never fired";
    EXPECT_EQ(future.get().first, make_error_code(mme_error::timed_out));

    // The board wakes up and answers what it was asked long ago.
    board.setScript([](board_sim &b, const board_sim::packet &p) {
        board_sim::answer(b, p);
        return true;
    });
    {
        std::lock_guard<std::mutex> lock(m);
        ASSERT_EQ(held.size(), 1u);
        board_sim::answer(board, held[0]);
    }
    memory->setTimeout(10s);
    expectGenuineRead(0x80, 3);
    EXPECT_EQ(memory->droppedResponses(), 1u);
    EXPECT_EQ(reportedTotal(), 0u);
}

TEST_F(lying_board, AHugeUnsolicitedBurstToNoRangeIsDroppedAndTheLinkGoesOn)
{
    board.setScript([](board_sim &b, const board_sim::packet &p) {
        board_sim::answer(b, p);
        return true;
    });
    // 256 Ki words pushed to an address no range covers, then an answer to a real request.
    std::vector<std::uint32_t> burst = {0x80000001u, 0xFFFF0000u, 1u << 18};
    burst.resize(3 + (1u << 18), 0xA5A5A5A5u);
    burst.push_back(8);
    board.send(readStream, burst);
    expectGenuineRead(0x10, 4);
    EXPECT_EQ(reportedTotal(), 0u);
}

} // namespace
