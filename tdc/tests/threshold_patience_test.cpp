// How long the threshold tuning waits on its board: the rules on their own, and a scripted
// board that is slow to answer, stalls, or falls silent in the middle of a run.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "boards.h"
#include "tdc/programmablethreshold.h"
#include "tdc/tdcerror.h"
#include "tuningpatience.h"

using namespace std::chrono_literals;
using tdctuning::Watch;
using Verdict = tdctuning::Watch::Verdict;

TEST(TuningPatience, IsSizedToTheSweepAndToTheLink)
{
    const auto p = tdctuning::patienceFor(100, 40ms, 500ms);
    EXPECT_EQ(p.expected, 2 * 4000ms + 3000ms);
    EXPECT_EQ(p.silence, 22000ms) << "twice the whole run";
    EXPECT_EQ(tdctuning::patienceFor(8, 100us, 500ms).silence, 6000ms) << "twice the shortest run";
    EXPECT_EQ(tdctuning::patienceFor(8, 100us, 1000ms).silence, 10000ms) << "ten request time-outs";
    EXPECT_EQ(p.stall, 3000ms);
    const auto slowGates = tdctuning::patienceFor(8, 1s, 100ms);
    EXPECT_EQ(slowGates.stall, 10s) << "a step may take ten gates on a starved board";
    EXPECT_GE(tdctuning::patienceFor(8, 100us, 100ms).silence, 3000ms) << "never less than a few seconds";
    EXPECT_GT(slowGates.cap, slowGates.expected);
}

TEST(TuningPatience, TimeOutsAloneDoNotEndARunUntilTheBoardIsSilentForTheWholeLimit)
{
    // A long sweep, so that only the silence matters here.
    auto p = tdctuning::patienceFor(1000, 40ms, 500ms);
    p.silence = 5000ms;
    const auto t0 = tdctuning::Clock::now();
    Watch w(p, t0);
    // Answers now and then, with long gaps of time-outs between them: never silent.
    for (auto t = 0ms; t < 10s; t += 4900ms) {
        w.answered(t0 + t, true);
        EXPECT_EQ(w.verdict(t0 + t + 4900ms), Verdict::Wait) << t.count();
    }
    const auto lastAnswer = t0 + 9800ms;
    EXPECT_EQ(w.verdict(lastAnswer + p.silence - 1ms), Verdict::Wait);
    EXPECT_EQ(w.verdict(lastAnswer + p.silence), Verdict::Silent);
    EXPECT_EQ(w.silentFor(lastAnswer + 1234ms), 1234ms);
}

TEST(TuningPatience, ARunPastItsLengthGoesOnWhileItsChannelsMove)
{
    const auto p = tdctuning::patienceFor(100, 40ms, 500ms);
    const auto t0 = tdctuning::Clock::now();
    Watch w(p, t0);
    auto t = t0;
    for (; t < t0 + 3 * p.expected; t += 1s) {
        w.answered(t, true);
        ASSERT_EQ(w.verdict(t), Verdict::Wait);
    }
    // Still answering, but nothing moves any more after this last step.
    const auto stopped = t;
    w.answered(stopped, true);
    for (t = stopped + 500ms; t < stopped + p.stall; t += 500ms) {
        w.answered(t, false);
        EXPECT_EQ(w.verdict(t), Verdict::Wait);
    }
    w.answered(stopped + p.stall, false);
    EXPECT_EQ(w.verdict(stopped + p.stall), Verdict::Overdue);

    Watch endless(p, t0);
    endless.answered(t0 + p.cap, true);
    EXPECT_EQ(endless.verdict(t0 + p.cap), Verdict::Overdue) << "progress does not buy more than the cap";
    Watch early(p, t0);
    early.answered(t0 + p.expected - 1ms, false);
    EXPECT_EQ(early.verdict(t0 + p.expected - 1ms), Verdict::Wait) << "standing still is fine before the end";
}

namespace {

constexpr std::uint32_t dacBase = 0x2000;
constexpr std::uint32_t channels = 9;

std::uint32_t channelWord(std::uint32_t c, std::uint32_t word) { return dacBase + 0x40 + 8 * c + word; }

// A board with threshold DACs only, whose tuning the test plays by hand.
class ScriptedTuning : public ::testing::Test {
protected:
    void SetUp() override
    {
        board = std::make_shared<testboards::ScriptedBoard>();
        serial = testboards::uniqueSerial("TT");
        auto &m = board->memory;
        testboards::writeTable(m, {{0x0040, dacBase, 0x400}});
        m[dacBase + 0] = channels;
        m[dacBase + 1] = 12;
        m[dacBase + 2] = static_cast<std::uint32_t>(-200000);
        m[dacBase + 3] = 1000000;
        m[dacBase + 4] = 0;
        m[dacBase + 5] = 20;   // steps
        m[dacBase + 6] = 1000; // gate, µs: 20 ms of board time
        m[dacBase + 8] = 0;
        m[dacBase + 9] = 0;
        for (std::uint32_t c = 0; c < channels; ++c)
            for (std::uint32_t w = 0; w < 8; ++w)
                m[channelWord(c, w)] = 0;
        for (std::uint32_t c = 0; c < channels; ++c) {
            m[channelWord(c, 0)] = 1000;
            m[channelWord(c, 1)] = 3;
            m[channelWord(c, 2)] = c == 0 ? 0 : 1;
        }
        ASSERT_TRUE(ft60x_virtual::addDevice({serial, "scripted threshold board"}, board));
        // Requests time out after 100 ms, so that the watcher's limits are a few seconds.
        ASSERT_FALSE(backend.open(testboards::findDevice(backend, serial), {}, 1000ms));
        ASSERT_NO_THROW(backend.loadModules(0));
        for (auto *m : backend.getModules())
            if (auto *d = dynamic_cast<ProgrammableThreshold *>(m))
                dac = d;
        ASSERT_NE(dac, nullptr);
    }
    void TearDown() override
    {
        backend.close();
        ft60x_virtual::removeDevice(serial);
    }

    std::vector<std::future<ProgrammableThreshold::Result>> startAll()
    {
        std::vector<std::uint16_t> list;
        for (std::uint16_t c = 1; c < channels; ++c)
            list.push_back(c);
        for (std::uint32_t c = 1; c < channels; ++c)
            board->poke(channelWord(c, 3), 1); // sweeping
        return dac->autoThreshold(list);
    }
    void sweepTo(std::uint32_t code)
    {
        for (std::uint32_t c = 1; c < channels; ++c)
            board->poke(channelWord(c, 0), code);
    }
    void finishAll(std::uint32_t code)
    {
        for (std::uint32_t c = 1; c < channels; ++c) {
            board->poke(channelWord(c, 0), code + c);
            board->poke(channelWord(c, 3), 2); // done
        }
    }

    std::shared_ptr<testboards::ScriptedBoard> board;
    std::string serial;
    TDCBackend backend;
    ProgrammableThreshold *dac = nullptr;
};

} // namespace

TEST_F(ScriptedTuning, EightChannelsFinishThoughManyPollsInARowGoUnanswered)
{
    auto futures = startAll();
    ASSERT_EQ(futures.size(), 8u);
    std::this_thread::sleep_for(100ms);
    // A second and a half of time-outs: far more than a few polls in a row.
    board->unansweredRequests = 12;
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(dac->autoThresholdRunning());
    for (int i = 0; i < 30 && board->unansweredRequests > 0; ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(board->unansweredRequests, 0);
    finishAll(2000);
    for (auto &f : futures) {
        ASSERT_EQ(f.wait_for(5s), std::future_status::ready);
        const auto [channel, ec, volts] = f.get();
        EXPECT_FALSE(ec) << "channel " << channel << ": " << ec.message();
        // The voltage of the code the board settled on, which getVoltage reads back.
        EXPECT_DOUBLE_EQ(volts, dac->getVoltage(channel).second) << "channel " << channel;
    }
    EXPECT_FALSE(dac->autoThresholdRunning());
}

TEST_F(ScriptedTuning, ASlowRunThatKeepsMovingOutlastsItsExpectedLength)
{
    // 20 steps of 1 ms expect about 3 s; this board takes twice as long, moving all the time.
    auto futures = startAll();
    const auto start = std::chrono::steady_clock::now();
    for (std::uint32_t code = 0; std::chrono::steady_clock::now() - start < 6s; code += 10) {
        sweepTo(code);
        std::this_thread::sleep_for(200ms);
        ASSERT_NE(futures[0].wait_for(0ms), std::future_status::ready) << "given up while the board moves";
    }
    finishAll(3000);
    for (auto &f : futures) {
        ASSERT_EQ(f.wait_for(5s), std::future_status::ready);
        EXPECT_FALSE(std::get<1>(f.get()));
    }
}

TEST_F(ScriptedTuning, ABoardThatStopsAnsweringEndsTheRunWithATimeOutAfterTheSilenceLimit)
{
    auto futures = startAll();
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    board->silent = true;
    ASSERT_EQ(futures[0].wait_for(20s), std::future_status::ready);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 2500ms) << "not after a few lost polls";
    for (auto &f : futures) {
        ASSERT_EQ(f.wait_for(1s), std::future_status::ready);
        const auto ec = std::get<1>(f.get());
        EXPECT_EQ(ec, make_error_code(tdcError::timeout));
        EXPECT_EQ(ec.message(), "Board did not answer in time");
    }
    EXPECT_FALSE(dac->autoThresholdRunning());
    board->silent = false;
}
