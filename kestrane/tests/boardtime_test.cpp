// Board time under a host that cannot keep up: it slips behind the clock by what one step may
// not owe, for every module alike, and requests are answered after a bounded amount of work.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "board/boardtime.h"
#include "kestrane/board.h"
#include "modules/counter/countermodule.h"

using namespace std::chrono_literals;
using kestrane::Board;
using kestrane::BoardTime;
using kestrane::CounterModule;

TEST(BoardTime, FollowsTheClockUntilBoundedThenSlipsOnlyWhatAStepMayNotOwe)
{
    kestrane::ManualClock clock;
    BoardTime t(clock.clock());
    clock.set(5ms);
    EXPECT_EQ(t.advance(), std::chrono::nanoseconds(5ms).count());
    clock.advance(10s);
    EXPECT_EQ(t.advance(), std::chrono::nanoseconds(10s + 5ms).count()) << "unbounded, a stall is owed in full";
    EXPECT_EQ(t.slipped(), 0ns);

    t.bound(50ms);
    clock.advance(30ms);
    EXPECT_EQ(t.advance(), std::chrono::nanoseconds(10s + 35ms).count()) << "a short step does not slip";
    clock.advance(50ms);
    EXPECT_EQ(t.advance(), std::chrono::nanoseconds(10s + 85ms).count()) << "nor one of exactly the bound";
    EXPECT_EQ(t.slipped(), 0ns);

    clock.advance(4s);
    EXPECT_EQ(t.advance(), std::chrono::nanoseconds(10s + 135ms).count());
    EXPECT_EQ(t.slipped(), 4s - 50ms);
    EXPECT_EQ(t.peek(), 10s + 135ms) << "the pacer sleeps on board time";
    // Once slipped, board time runs with the clock again from where it stands.
    clock.advance(20ms);
    EXPECT_EQ(t.peek(), 10s + 155ms);
    EXPECT_EQ(t.advance(), std::chrono::nanoseconds(10s + 155ms).count());
    EXPECT_EQ(t.advance(), std::chrono::nanoseconds(10s + 155ms).count()) << "a reading with no time passed";
    EXPECT_EQ(t.slipped(), 4s - 50ms);
}

namespace {

struct Outbox {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::vector<std::uint32_t>> samples; // counter pushes
    std::vector<std::vector<std::uint32_t>> answers;

    void take(std::uint8_t, const std::vector<std::uint32_t> &p)
    {
        std::lock_guard<std::mutex> lock(m);
        (p[0] & 0x80000000u ? samples : answers).push_back(p);
        cv.notify_all();
    }
    bool waitAnswers(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, 5s, [&] { return answers.size() >= n; });
    }
};

} // namespace

TEST(BoardTime, APacedBoardThatFellBehindAnswersAfterOneStepAndItsCountersSeeWholePeriods)
{
    kestrane::ManualClock clock;
    Board board(kestrane::defaultProfile(), clock.clock(), 7);
    Outbox out;
    board.setOutput([&](std::uint8_t s, const std::vector<std::uint32_t> &p) { out.take(s, p); });
    const std::uint32_t base = Board::processedCounterBase;
    ASSERT_EQ(board.writeWord(base + CounterModule::regIntegrationUs, 10000), 8u); // 10 ms
    ASSERT_EQ(board.writeWord(base + CounterModule::regControl, CounterModule::controlAutoPush), 8u);
    board.start();

    // Ten seconds pass on the clock with the board unable to keep up (here: not scheduled).
    clock.advance(10s);
    board.handlePacket(Board::readStream, {1, base + CounterModule::regSampleNumber, 1});
    ASSERT_TRUE(out.waitAnswers(1));
    board.stop();
    {
        std::lock_guard<std::mutex> lock(out.m);
        ASSERT_EQ(out.answers[0].size(), 5u);
        // Without the slip the counter would catch up its last 64 periods.
        EXPECT_LE(out.answers[0][3], 6u);
        EXPECT_LE(out.samples.size(), 6u);
        for (const auto &s : out.samples) {
            EXPECT_EQ(s[3], 10000u);
            // 10 ms of the 3600 Hz sync channel: periods of board time, whole.
            EXPECT_NEAR(static_cast<double>(s[4]), 36.0, 1.0);
        }
    }
    EXPECT_GE(board.slipped(), 10s - 50ms);
    EXPECT_LE(board.slipped(), 10s);

    // Keeping up again, it slips no further.
    const auto slipped = board.slipped();
    board.start();
    clock.advance(30ms);
    board.handlePacket(Board::readStream, {2, base + CounterModule::regSampleNumber, 1});
    ASSERT_TRUE(out.waitAnswers(2));
    board.stop();
    EXPECT_EQ(board.slipped(), slipped);
}
