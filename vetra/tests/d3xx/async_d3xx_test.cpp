// The D3XX transport driven for real over virtual devices.

#include "echo_provider.h"

#include "transport/async_d3xx.h"

#include <vetra/d3xx_error.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Matches up to and including the first zero byte that follows a non-zero byte, the way
// the packet engine frames its packets.
std::pair<asyncio_interface::buffer_iterator, bool> frameEnd(asyncio_interface::buffer_iterator begin,
                                                             asyncio_interface::buffer_iterator end)
{
    bool previousNonZero = false;
    for (auto it = begin; it != end; ++it) {
        if (*it == 0 && previousNonZero)
            return {it + 1, true};
        previousNonZero = *it != 0;
    }
    // The next search resumes at the last byte, so that a zero arriving next still sees it.
    return {previousNonZero ? end - 1 : end, false};
}

// Collects handler calls made on the transport's threads.
class recorder {
public:
    asyncio_interface::completion_handler handler()
    {
        return [this](const std::error_code &ec, std::size_t n) {
            std::lock_guard<std::mutex> lock(mutex_);
            calls_.emplace_back(ec, n);
            changed_.notify_all();
        };
    }

    // Waits for the n-th call (1-based); false after 10 s.
    bool waitFor(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return calls_.size() >= n; });
    }

    std::pair<std::error_code, std::size_t> call(std::size_t i)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.at(i);
    }

    std::size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<std::error_code, std::size_t>> calls_;
};

std::string take(asio::streambuf &buffer, std::size_t n)
{
    std::string bytes(asio::buffers_begin(buffer.data()), asio::buffers_begin(buffer.data()) + n);
    buffer.consume(n);
    return bytes;
}

} // namespace

TEST(AsyncD3xx, OpenFailuresAreStatusCodesAndLeaveTheDeviceFree)
{
    async_d3xx link;
    EXPECT_EQ(link.link_lost_code(), make_error_code(d3xx_error::device_not_connected));
    EXPECT_EQ(link.link_lost_code().category().name(), std::string("FTD3XX"));
    EXPECT_EQ(link.open("NO-SUCH-BRIDGE", {}), make_error_code(d3xx_error::device_not_found));

    auto board = std::make_shared<echo_provider>();
    scoped_device dev("LINK-OPEN", board);
    // The virtual bridge has one FIFO channel: channel 1 means pipes 0x03/0x83, which it lacks.
    EXPECT_EQ(link.open("LINK-OPEN", {{"channel", "1"}}), make_error_code(d3xx_error::invalid_parameter));
    EXPECT_EQ(board->attaches, 1);
    EXPECT_EQ(board->detaches, 1) << "the failed open closed its handle";
    EXPECT_EQ(link.open("LINK-OPEN", {{"channel", "one"}}), make_error_code(d3xx_error::invalid_parameter));
    EXPECT_EQ(link.open("LINK-OPEN", {{"channel", "4"}}), make_error_code(d3xx_error::invalid_parameter));
    EXPECT_EQ(link.open("LINK-OPEN", {{"write_timeout", "-5"}}),
              make_error_code(d3xx_error::invalid_parameter));
    EXPECT_EQ(link.open("LINK-OPEN", {{"channel", "0"}, {"write_timeout", "0"}}), std::error_code());
    EXPECT_EQ(link.close(), std::error_code());
    EXPECT_EQ(link.close(), std::error_code()) << "closing a closed link is harmless";
}

TEST(AsyncD3xx, WritesAndReadsThroughAnEchoBoard)
{
    auto board = std::make_shared<echo_provider>();
    scoped_device dev("LINK-ECHO", board);
    async_d3xx link;
    ASSERT_EQ(link.open("LINK-ECHO", {{"write_timeout", "50"}}), std::error_code());

    asio::streambuf buffer;
    recorder reads;
    recorder writes;
    link.async_read_until(buffer, frameEnd, reads.handler());
    const std::string first("\x01\x02\x03\x00\x00\x00\x00\x04\x05\x00", 10);
    link.async_write(asio::buffer(first), writes.handler());
    ASSERT_TRUE(writes.waitFor(1));
    EXPECT_FALSE(writes.call(0).first);
    EXPECT_EQ(writes.call(0).second, first.size());

    ASSERT_TRUE(reads.waitFor(1));
    EXPECT_FALSE(reads.call(0).first);
    EXPECT_EQ(reads.call(0).second, 4u);
    EXPECT_EQ(take(buffer, 4), std::string("\x01\x02\x03\x00", 4));
    // The rest already arrived with the first chunk: the next read completes from the buffer.
    link.async_read_until(buffer, frameEnd, reads.handler());
    ASSERT_TRUE(reads.waitFor(2));
    EXPECT_EQ(reads.call(1).second, 6u);
    EXPECT_EQ(take(buffer, 6), std::string("\x00\x00\x00\x04\x05\x00", 6));

    // A frame longer than several read chunks builds up in the buffer.
    std::vector<std::uint8_t> big(3 * async_d3xx::read_chunk + 17, 0xA5);
    big.push_back(0);
    link.async_read_until(buffer, frameEnd, reads.handler());
    board->push(std::vector<std::uint8_t>(big.begin(), big.begin() + async_d3xx::read_chunk + 5));
    std::this_thread::sleep_for(20ms);
    board->push(std::vector<std::uint8_t>(big.begin() + async_d3xx::read_chunk + 5, big.end()));
    ASSERT_TRUE(reads.waitFor(3));
    EXPECT_EQ(reads.call(2).second, big.size());
    EXPECT_EQ(buffer.size(), big.size());
    EXPECT_EQ(link.close(), std::error_code());
    EXPECT_EQ(board->detaches, 1);
}

TEST(AsyncD3xx, CloseWhileAReadIsBlockedReturnsPromptly)
{
    auto board = std::make_shared<echo_provider>();
    scoped_device dev("LINK-CLOSE", board);
    for (int round = 0; round < 20; ++round) {
        async_d3xx link;
        ASSERT_EQ(link.open("LINK-CLOSE", {}), std::error_code());
        asio::streambuf buffer;
        recorder reads;
        link.async_read_until(buffer, frameEnd, reads.handler());
        if (round % 2)
            std::this_thread::sleep_for(5ms); // sometimes blocked in the driver, sometimes not yet
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(link.close(), std::error_code());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(reads.count(), 0u) << "a closed link completes nothing";
    }
    EXPECT_EQ(board->detaches, 20);
}

TEST(AsyncD3xx, ARemovedDeviceReportsLinkLostOnceAndStillCloses)
{
    auto board = std::make_shared<echo_provider>();
    ASSERT_TRUE(ft60x_virtual::addDevice({"LINK-GONE", "x"}, board));
    async_d3xx link;
    ASSERT_EQ(link.open("LINK-GONE", {}), std::error_code());
    asio::streambuf buffer;
    recorder reads;
    recorder writes;
    link.async_read_until(buffer, frameEnd, reads.handler());
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(ft60x_virtual::removeDevice("LINK-GONE"));
    ASSERT_TRUE(reads.waitFor(1));
    EXPECT_EQ(reads.call(0).first, link.link_lost_code());
    // The packet engine asks again at once; the gone device must not answer in a loop.
    link.async_read_until(buffer, frameEnd, reads.handler());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(reads.count(), 1u);

    const std::string bytes("\x01\x00", 2);
    link.async_write(asio::buffer(bytes), writes.handler());
    ASSERT_TRUE(writes.waitFor(1));
    EXPECT_EQ(writes.call(0).first, make_error_code(d3xx_error::device_not_connected));
    EXPECT_EQ(writes.call(0).second, 0u);
    EXPECT_EQ(link.close(), std::error_code());
}

TEST(AsyncD3xx, AFrameArrivingInManyPiecesIsScannedOnce)
{
    // 8 MiB in 64 KiB pieces. The condition hands the board the next piece each time it finds
    // no match, so every FT_ReadPipe returns exactly one piece, and counts what it scans.
    constexpr std::size_t piece = 64 << 10;
    constexpr std::size_t frame = 8 << 20;
    auto board = std::make_shared<echo_provider>();
    scoped_device dev("LINK-PIECES", board);
    async_d3xx link;
    ASSERT_EQ(link.open("LINK-PIECES", {}), std::error_code());

    std::size_t scanned = 0;
    std::size_t pushed = 0;
    std::size_t calls = 0;
    auto condition = [&](asyncio_interface::buffer_iterator begin, asyncio_interface::buffer_iterator end) {
        ++calls;
        scanned += static_cast<std::size_t>(end - begin);
        const auto match = frameEnd(begin, end);
        if (!match.second && pushed < frame) {
            std::vector<std::uint8_t> bytes(piece, 0x5A);
            pushed += piece;
            if (pushed == frame)
                bytes.back() = 0;
            board->push(bytes);
        }
        return match;
    };
    asio::streambuf buffer;
    recorder reads;
    link.async_read_until(buffer, condition, reads.handler());
    ASSERT_TRUE(reads.waitFor(1));
    EXPECT_FALSE(reads.call(0).first);
    EXPECT_EQ(reads.call(0).second, frame);
    EXPECT_EQ(calls, frame / piece + 1) << "one search per piece, and one on the empty buffer";
    // Each piece is searched once, plus the one byte kept from the piece before.
    EXPECT_LE(scanned, frame + calls);
    EXPECT_GE(scanned, frame);
    EXPECT_EQ(link.close(), std::error_code());
}

TEST(AsyncD3xx, CloseFromAHandlerIsRefusedAsADeadlock)
{
    auto board = std::make_shared<echo_provider>();
    scoped_device dev("LINK-SELF", board);
    async_d3xx link;
    ASSERT_EQ(link.open("LINK-SELF", {}), std::error_code());

    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::error_code> refusals;
    auto closeInside = [&](const std::error_code &, std::size_t) {
        std::error_code refusal;
        try {
            link.close();
        } catch (const std::system_error &e) {
            refusal = e.code();
        }
        std::lock_guard<std::mutex> lock(mutex);
        refusals.push_back(refusal);
        done.notify_all();
    };
    asio::streambuf buffer;
    link.async_read_until(buffer, frameEnd, closeInside);
    const std::string bytes("\x07\x00", 2);
    link.async_write(asio::buffer(bytes), closeInside); // echoed: completes the read as well
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(done.wait_for(lock, 10s, [&] { return refusals.size() == 2; }));
    }
    for (const auto &refusal : refusals)
        EXPECT_EQ(refusal, std::make_error_code(std::errc::resource_deadlock_would_occur));
    // Both threads are still there: the link works and closes normally.
    recorder reads;
    buffer.consume(buffer.size());
    link.async_read_until(buffer, frameEnd, reads.handler());
    link.async_write(asio::buffer(bytes), [](const std::error_code &, std::size_t) {});
    ASSERT_TRUE(reads.waitFor(1));
    EXPECT_EQ(reads.call(0).second, 2u);
    EXPECT_EQ(link.close(), std::error_code());
}
