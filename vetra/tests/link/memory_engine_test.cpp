// The memory engine over the real serial transport and a scripted board on a
// pseudo-terminal: request layouts, status mapping, time-outs, ranges, pipelining, futures.

#include "link_fixture.h"

#include "mme/mme.h"
#include "pte/pte.h"
#include "transport/async_serial.h"

#include <vetra/crc32c.h>

#include <algorithm>
#include <filesystem>
#include <atomic>
#include <future>
#include <map>

namespace {

using mme_common::BurstType;

std::shared_ptr<const std::vector<std::uint32_t>> words(std::vector<std::uint32_t> w)
{
    return std::make_shared<const std::vector<std::uint32_t>>(std::move(w));
}

class memory_engine : public link_fixture {};

TEST_F(memory_engine, RequestsCarryIdAddressAndControlWord)
{
    const std::uint32_t first = link.asyncRead(0x1000, 1, BurstType::INCREMENTING, {}, {});
    const std::uint32_t second = link.asyncRead(0x1000, 1, BurstType::FIXED, {}, {});
    const std::uint32_t third = link.asyncRead(0x20, 0x200001, BurstType::INCREMENTING, {}, {});
    const std::uint32_t fourth = link.asyncWrite(0x30, words({7, 8}), BurstType::INCREMENTING,
                                                 [](std::uint32_t, std::uint32_t, BurstType, std::error_code,
                                                    std::uint32_t) {},
                                                 {});

    board_sim::packet p;
    ASSERT_TRUE(board.next(p));
    EXPECT_EQ(p.stream, readStream);
    EXPECT_EQ(p.payload, (std::vector<std::uint32_t>{first, 0x1000, 0x02000001}));
    // The bytes on the wire are exactly the encoding of {stream, payload, CRC}.
    auto expected = board_sim::encodePacket(readStream, p.payload);
    expected.resize(expected.size() - 4);
    EXPECT_EQ(p.wire, expected);

    ASSERT_TRUE(board.next(p));
    EXPECT_EQ(p.payload, (std::vector<std::uint32_t>{second, 0x1000, 0x03000001}));
    ASSERT_TRUE(board.next(p));
    // The count is cut to its low 21 bits.
    EXPECT_EQ(p.payload, (std::vector<std::uint32_t>{third, 0x20, 0x02000001}));
    ASSERT_TRUE(board.next(p));
    EXPECT_EQ(p.stream, writeStream);
    EXPECT_EQ(p.payload, (std::vector<std::uint32_t>{fourth, 0x30, 0x02000002, 7, 8}));

    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(third, first + 2);
    EXPECT_EQ(first & 0x80000000u, 0u);
}

TEST(memory_wire, FirstReadVector)
{
    // Transaction 0 reading one word at 0x1000 on stream 1.
    const auto logical = board_sim::logicalPacket(1, {0, 0x00001000, 0x02000001});
    EXPECT_EQ(logical.back(), 0x1059B7FDu);
    const std::vector<std::uint8_t> wire{0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02,
                                         0x01, 0x01, 0x03, 0x10, 0x01, 0x03, 0x01, 0x02, 0x02, 0x02,
                                         0xFD, 0xB7, 0x59, 0x10, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(board_sim::encodePacket(1, {0, 0x00001000, 0x02000001}), wire);
    EXPECT_EQ(mme_simplex<1>::requestHeader(0, 0x1000, 1, BurstType::INCREMENTING, true),
              (std::vector<std::uint32_t>{0, 0x1000, 0x02000001}));
    EXPECT_EQ(mme_simplex<1>::requestHeader(0x80000003u, 0x1000, 1, BurstType::FIXED, true),
              (std::vector<std::uint32_t>{3, 0x1000, 0x03000001}));
    // Only value 1 sets the burst bit.
    EXPECT_EQ(mme_simplex<0>::requestHeader(1, 2, 3, static_cast<BurstType>(2), false),
              (std::vector<std::uint32_t>{1, 2, 3}));
}

TEST_F(memory_engine, FuturesDeliverDataWithoutTheStatusWord)
{
    answerEverything();
    auto read = link.read(0x40, 4, BurstType::INCREMENTING);
    auto result = read.get();
    EXPECT_FALSE(result.first) << result.first.message();
    EXPECT_EQ(result.first.category(), mme_category());
    ASSERT_TRUE(result.second);
    EXPECT_EQ(*result.second, (std::vector<std::uint32_t>{0x40, 0x41, 0x42, 0x43}));

    std::promise<std::size_t> sent;
    auto write = link.write(0x40, words({1, 2, 3}), BurstType::INCREMENTING,
                            [&sent](const std::error_code &, std::size_t n) { sent.set_value(n); });
    EXPECT_FALSE(write.get());
    EXPECT_GT(sent.get_future().get(), 0u);
}

TEST_F(memory_engine, StatusWordsMapToErrors)
{
    // The board answers with the request's address as the status word.
    board.setScript([](board_sim &b, const board_sim::packet &p) {
        board_sim::answer(b, p, p.payload.at(1));
        return true;
    });
    const std::map<std::uint32_t, int> expected{{8, 0},  {1, 1},  {3, 1},  {5, 1},  {7, 1},  {2, 2},
                                                {4, 3},  {6, 4},  {15, 5}, {0, 6},  {9, 6},  {14, 6},
                                                {16, 6}, {0xFFFFFFFF, 6}};
    for (const auto &[status, value] : expected) {
        auto result = link.read(status, 2, BurstType::INCREMENTING).get();
        EXPECT_EQ(result.first, std::error_code(value, mme_category())) << "status " << status;
        // Data pass as received, whatever the status.
        ASSERT_TRUE(result.second);
        EXPECT_EQ(*result.second, (std::vector<std::uint32_t>{status, status + 1})) << "status " << status;
        EXPECT_EQ(link.write(status, words({5}), BurstType::FIXED).get(), std::error_code(value, mme_category()));
    }
    // Status 15 from the board reads exactly like a local time-out.
    EXPECT_EQ(settled(link.read(15, 1, BurstType::INCREMENTING)).first, make_error_code(mme_error::timed_out));
}

TEST_F(memory_engine, TimeOutReportsOnceAndDropsTheLateResponse)
{
    link.setTimeout(50ms);
    EXPECT_EQ(link.getTimeout(), 50ms);

    std::mutex m;
    std::vector<std::error_code> results;
    std::vector<std::size_t> sizes;
    std::vector<BurstType> bursts;
    std::promise<void> first;
    const std::uint32_t id = link.asyncRead(
        0x500, 3, BurstType::FIXED,
        [&](std::uint32_t address, std::unique_ptr<std::vector<std::uint32_t>> data, BurstType burst,
            std::error_code ec, std::uint32_t) {
            std::lock_guard<std::mutex> lock(m);
            EXPECT_EQ(address, 0x500u);
            results.push_back(ec);
            sizes.push_back(data ? data->size() : 99);
            bursts.push_back(burst);
            if (results.size() == 1)
                first.set_value();
        },
        {});
    board_sim::packet request;
    ASSERT_TRUE(board.next(request));
    ASSERT_EQ(first.get_future().wait_for(10s), std::future_status::ready);

    // The board answers after the time-out: dropped.
    board_sim::answer(board, request);
    // A later transaction completes normally, so the late response has been processed.
    answerEverything();
    link.setTimeout(10s);
    EXPECT_FALSE(settled(link.read(0x10, 1, BurstType::INCREMENTING)).first);

    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], make_error_code(mme_error::timed_out));
    EXPECT_EQ(results[0].message(), "Timed out, no response received");
    EXPECT_EQ(results[0], std::errc::timed_out);
    EXPECT_EQ(sizes[0], 0u);
    EXPECT_EQ(bursts[0], BurstType::FIXED);
    EXPECT_EQ(request.payload[0], id);

    // The write half times out the same way, through its future.
    board.setScript([](board_sim &, const board_sim::packet &) { return true; });
    link.setTimeout(30ms);
    EXPECT_EQ(settled(link.write(0x10, words({1}), BurstType::INCREMENTING)), make_error_code(mme_error::timed_out));
}

TEST_F(memory_engine, UnsolicitedMessagesReachTheirRange)
{
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::tuple<std::uint32_t, std::vector<std::uint32_t>, BurstType, std::error_code, std::uint32_t>> reads;
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> writes;
    ASSERT_FALSE(link.setRangeCallback(
        0x100, 0x1FF,
        [&](std::uint32_t address, std::unique_ptr<std::vector<std::uint32_t>> data, BurstType burst,
            std::error_code ec, std::uint32_t id) {
            std::lock_guard<std::mutex> lock(m);
            reads.emplace_back(address, *data, burst, ec, id);
            cv.notify_all();
        },
        [&](std::uint32_t address, std::uint32_t count, BurstType, std::error_code, std::uint32_t id) {
            std::lock_guard<std::mutex> lock(m);
            writes.emplace_back(address, count, id);
            cv.notify_all();
        }));

    board.send(readStream, {0x80000007u, 0x300, 0x00000001, 0xAA, 8}); // outside every range: dropped
    board.send(readStream, {0x80000005u, 0x150, 0x01000002, 0xDEAD, 0xBEEF, 2});
    board.send(writeStream, {0x80000006u, 0x1FF, 0x00000003, 8});
    board.send(readStream, {0x00000009u, 0x150, 0x00000001, 0x1, 8}); // no such transaction: dropped

    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return reads.size() == 1 && writes.size() == 1; }));
    EXPECT_EQ(std::get<0>(reads[0]), 0x150u);
    EXPECT_EQ(std::get<1>(reads[0]), (std::vector<std::uint32_t>{0xDEAD, 0xBEEF}));
    EXPECT_EQ(std::get<2>(reads[0]), BurstType::FIXED);
    EXPECT_EQ(std::get<3>(reads[0]), make_error_code(mme_error::axi_decode_error));
    EXPECT_EQ(std::get<4>(reads[0]), 0x80000005u); // the id as received
    EXPECT_EQ(writes[0], std::make_tuple(0x1FFu, 3u, 0x80000006u));
    lock.unlock();

    // The range forms complete through the range's handlers.
    answerEverything();
    const std::uint32_t id = link.asyncRead(0x180, 2, BurstType::INCREMENTING);
    const std::uint32_t wid = link.asyncWrite(0x181, words({1, 2, 3, 4}), BurstType::INCREMENTING);
    lock.lock();
    ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return reads.size() == 2 && writes.size() == 2; }));
    EXPECT_EQ(std::get<1>(reads[1]), (std::vector<std::uint32_t>{0x180, 0x181}));
    EXPECT_EQ(std::get<4>(reads[1]), id);
    EXPECT_EQ(writes[1], std::make_tuple(0x181u, 4u, wid));
    lock.unlock();

    // Nothing else arrived (the out-of-range and unknown-id packets went nowhere).
    std::this_thread::sleep_for(50ms);
    lock.lock();
    EXPECT_EQ(reads.size(), 2u);
}

TEST_F(memory_engine, RangeTableRefusesOverlapsAndUnknownStarts)
{
    const auto none = [](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>>, BurstType, std::error_code,
                         std::uint32_t) {};
    EXPECT_FALSE(link.setRangeCallback(0x100, 0x1FF, none, {}));
    const std::error_code overlap = link.setRangeCallback(0x1FF, 0x2FF, none, {});
    EXPECT_EQ(overlap, make_error_code(vetraError::address_already_registered));
    EXPECT_EQ(overlap.message(), "Specified address already registered");
    EXPECT_EQ(overlap, std::errc::address_in_use);
    EXPECT_FALSE(link.setRangeCallback(0x200, 0x2FF, none, {}));
    EXPECT_TRUE(link.setRangeCallback(0x0, 0x100, none, {}));
    EXPECT_TRUE(link.setRangeCallback(0x100, 0x100, none, {}));
    EXPECT_TRUE(link.setRangeCallback(0x50, 0x400, none, {}));
    EXPECT_FALSE(link.setRangeCallback(0x0, 0xFF, none, {}));

    const std::error_code missing = link.deleteRangeCallback(0x150);
    EXPECT_EQ(missing, make_error_code(vetraError::address_not_registered));
    EXPECT_EQ(missing.message(), "Specified address not in callback map");
    EXPECT_FALSE(link.deleteRangeCallback(0x100));
    EXPECT_EQ(link.deleteRangeCallback(0x100), make_error_code(vetraError::address_not_registered));
    EXPECT_FALSE(link.setRangeCallback(0x180, 0x1FF, none, {}));
}

TEST_F(memory_engine, PipelinedRequestsAnsweredOutOfOrder)
{
    constexpr std::size_t count = 64;
    std::mutex m;
    std::condition_variable cv;
    std::map<std::uint32_t, std::pair<std::uint32_t, std::vector<std::uint32_t>>> done; // id -> address, data
    std::map<std::uint32_t, std::uint32_t> issued;                                     // id -> address
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t address = 0x1000 + 0x10 * static_cast<std::uint32_t>(i);
        const std::uint32_t id = link.asyncRead(
            address, 1 + static_cast<std::uint32_t>(i % 5), BurstType::INCREMENTING,
            [&](std::uint32_t a, std::unique_ptr<std::vector<std::uint32_t>> data, BurstType, std::error_code ec,
                std::uint32_t tid) {
                EXPECT_FALSE(ec);
                std::lock_guard<std::mutex> lock(m);
                done[tid] = {a, *data};
                cv.notify_all();
            },
            {});
        issued[id] = address;
    }
    std::vector<board_sim::packet> requests(count);
    for (auto &r : requests)
        ASSERT_TRUE(board.next(r));
    std::reverse(requests.begin(), requests.end());
    for (std::size_t i = 0; i < requests.size(); i += 2) // evens of the reversed order first
        board_sim::answer(board, requests[i]);
    for (std::size_t i = 1; i < requests.size(); i += 2)
        board_sim::answer(board, requests[i]);

    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 20s, [&] { return done.size() == count; }));
    for (const auto &[id, address] : issued) {
        ASSERT_EQ(done.count(id), 1u);
        EXPECT_EQ(done[id].first, address);
        const std::uint32_t words = 1 + (address - 0x1000) / 0x10 % 5;
        ASSERT_EQ(done[id].second.size(), words);
        EXPECT_EQ(done[id].second.front(), address);
    }
}

TEST_F(memory_engine, CloseBreaksWaitingFutures)
{
    link.setTimeout(0ms);
    auto read = link.read(0x10, 1, BurstType::INCREMENTING);
    auto write = link.write(0x10, words({1}), BurstType::INCREMENTING);
    board_sim::packet p;
    ASSERT_TRUE(board.next(p));
    ASSERT_TRUE(board.next(p));
    EXPECT_EQ(read.wait_for(100ms), std::future_status::timeout);
    link.close();
    EXPECT_THROW(read.get(), mme_defs::device_disconnected);
    EXPECT_THROW(write.get(), mme_defs::device_disconnected);
}

TEST_F(memory_engine, LostLinkMakesOperationsThrow)
{
    answerEverything();
    EXPECT_FALSE(link.read(0x10, 1, BurstType::INCREMENTING).get().first);
    board.closeMaster();
    EXPECT_TRUE(eventually([&] {
        try {
            link.asyncRead(0x10, 1, BurstType::INCREMENTING);
            return false;
        } catch (const mme_defs::device_disconnected &e) {
            return std::string(e.what()) == "Communication device not connected";
        }
    }));
    const auto reported = linkErrors();
    EXPECT_EQ(std::count(reported.begin(), reported.end(), make_error_code(vetraError::device_disconnected)), 1);
    EXPECT_THROW(link.read(0x10, 1, BurstType::INCREMENTING), mme_defs::device_disconnected);
    link.close();
}

TEST_F(memory_engine, ZeroWordTransfersAreRefused)
{
    try {
        link.read(0x10, 0, BurstType::INCREMENTING);
        FAIL() << "no exception";
    } catch (const std::invalid_argument &e) {
        EXPECT_STREQ(e.what(), "Can't execute transfer of zero words");
    }
    EXPECT_THROW(link.asyncRead(0x10, 0, BurstType::INCREMENTING), std::invalid_argument);
    EXPECT_THROW(link.write(0x10, words({}), BurstType::INCREMENTING), std::invalid_argument);
    EXPECT_THROW(link.asyncWrite(0x10, nullptr, BurstType::INCREMENTING), std::invalid_argument);
    board_sim::packet p;
    EXPECT_FALSE(board.next(p, 200ms));
}

TEST_F(memory_engine, RawStreamsAndPacketErrors)
{
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<std::uint8_t, std::vector<std::uint32_t>>> got;
    const auto record = [&](std::uint8_t stream, std::unique_ptr<std::vector<std::uint32_t>> data) {
        std::lock_guard<std::mutex> lock(m);
        got.emplace_back(stream, *data);
        cv.notify_all();
    };
    link.setStreamCallback(9, record);
    link.setStreamCallback(readStream, record); // replaces the memory engine's handler

    EXPECT_TRUE(link.sendPacket(9, {words({4, 5}), words({6})}));
    EXPECT_FALSE(link.sendPacket(9, {words({4}), words({})}));
    board_sim::packet p;
    ASSERT_TRUE(board.next(p));
    EXPECT_EQ(p.stream, 9);
    EXPECT_EQ(p.payload, (std::vector<std::uint32_t>{4, 5, 6}));
    EXPECT_FALSE(board.next(p, 100ms)); // the refused packet never left

    board.send(9, {1, 2, 3});
    board.send(readStream, {1, 2, 3, 4, 5}); // the whole payload, though the stream has a layout
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return got.size() >= 2; }));
    EXPECT_EQ(got[0], std::make_pair(std::uint8_t(9), std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(got[1], std::make_pair(readStream, std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
    lock.unlock();

    link.deleteStreamCallback(9);
    board.send(9, {7});
    board.sendBytes({0x01, 0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x05, 0x05, 0x05, 0x05, 0, 0, 0, 0});
    board.send(readStream, {9, 10, 11, 12});
    lock.lock();
    ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return got.size() >= 3; }));
    // Stream 9's packet was dropped: the next one to arrive is the read stream's.
    EXPECT_EQ(got[2], std::make_pair(readStream, std::vector<std::uint32_t>{9, 10, 11, 12}));
    lock.unlock();

    // The garbage frame in between was reported through the error callback.
    const auto reported = linkErrors();
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported[0].category().name(), std::string("Packet Transmission Engine"));
}

// The engine itself, for what the library class does not show: pending transactions.
class memory_engine_internals : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto port = std::make_unique<async_serial>();
        transport = port.get();
        engine = std::make_unique<pte>(std::move(port), pte::stream_handler{}, pte::error_handler{});
        ASSERT_FALSE(engine->open(board.portName(), {}));
        board.releaseSlave();
        memory = std::make_unique<mme>(*engine, 1, 2, 10s);
    }
    void TearDown() override
    {
        memory.reset();
        transport->close(); // no transport thread may call into the engine while it goes
        engine.reset();
    }

    board_sim board;
    async_serial *transport = nullptr;
    std::unique_ptr<pte> engine;
    std::unique_ptr<mme> memory;
};

TEST_F(memory_engine_internals, WriteWithoutHandlerLeavesNothingPending)
{
    memory->write(0x20, words({1, 2}), BurstType::INCREMENTING, mme_common::write_handler{}, {});
    board_sim::packet p;
    ASSERT_TRUE(board.next(p));
    EXPECT_EQ(p.payload[2], 0x00000002u); // bit 25 clear
    EXPECT_EQ(memory->pendingWrites(), 0u);
}

TEST_F(memory_engine_internals, ZeroTimeOutWaitsUntilTheEngineGoes)
{
    memory->setTimeout(0ms);
    auto future = memory->readFuture(0x20, 1, BurstType::INCREMENTING, {});
    board_sim::packet p;
    ASSERT_TRUE(board.next(p));
    EXPECT_EQ(future.wait_for(300ms), std::future_status::timeout);
    EXPECT_EQ(memory->pendingReads(), 1u);
    memory.reset();
    EXPECT_THROW(future.get(), mme_defs::device_disconnected);
}

// Threads of this process now.
std::size_t threadCount()
{
    std::size_t n = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++n;
    }
    return n;
}

TEST_F(memory_engine_internals, TimerThreadWaitsForTheFirstTimedRequestAndIsJoined)
{
    // The engine was made with a time-out, but no request has needed one yet.
    const std::size_t idle = threadCount();
    memory->setTimeout(0ms);
    auto untimed = memory->readFuture(0x20, 1, BurstType::INCREMENTING, {});
    memory->write(0x24, words({1}), BurstType::INCREMENTING,
                  [](std::uint32_t, std::uint32_t, BurstType, std::error_code, std::uint32_t) {}, {});
    EXPECT_EQ(threadCount(), idle);

    memory->setTimeout(200ms);
    auto timed = memory->readFuture(0x28, 1, BurstType::INCREMENTING, {});
    auto timedAgain = memory->readFuture(0x2C, 1, BurstType::INCREMENTING, {});
    EXPECT_EQ(threadCount(), idle + 1); // the read half's, once
    // The late thread still runs the time-outs; the untimed request keeps waiting.
    EXPECT_EQ(settled(timed).first, make_error_code(mme_error::timed_out));
    EXPECT_EQ(settled(timedAgain).first, make_error_code(mme_error::timed_out));
    EXPECT_EQ(untimed.wait_for(0ms), std::future_status::timeout);

    memory.reset();
    EXPECT_EQ(threadCount(), idle);
    EXPECT_THROW(untimed.get(), mme_defs::device_disconnected);
}

TEST_F(memory_engine_internals, AnsweredAndTimedOutTransactionsLeaveTheList)
{
    board.setScript([](board_sim &b, const board_sim::packet &p) {
        // Every other request is left unanswered and times out.
        if (p.payload[1] % 2 == 0)
            board_sim::answer(b, p);
        return true;
    });
    memory->setTimeout(1000ms);
    std::vector<mme::read_future> futures;
    for (std::uint32_t a = 0; a < 20; ++a)
        futures.push_back(memory->readFuture(a, 1, BurstType::INCREMENTING, {}));
    for (std::uint32_t a = 0; a < 20; ++a) {
        const std::error_code ec = settled(futures[a]).first;
        if (a % 2 == 0)
            EXPECT_FALSE(ec) << a;
        else
            EXPECT_EQ(ec, make_error_code(mme_error::timed_out)) << a;
    }
    EXPECT_EQ(memory->pendingReads(), 0u);
}

} // namespace
