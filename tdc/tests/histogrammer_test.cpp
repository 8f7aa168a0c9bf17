// The start–stop histogrammer and its group against the virtual board in-process, with
// periodic inputs so every count can be predicted.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <map>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "boards.h"
#include "tdc/tdcerror.h"
#include "tdc/tdchistogrammermodule.h"

using namespace std::chrono_literals;
using Hist = TDCHistogrammerModule;

namespace {

// Channel 1 pulses every 10 µs; channel 2 repeats each of them 12 ns and 30 ns later.
const char *periodicProfile = R"({"inputs": 2, "syncPeriod": 0, "periodic": true, "rates": [100000, 0],
  "pulseWidth": 1e-9, "pulseHeight": {"mean": 0.5, "sigma": 0},
  "pairs": [{"from": 1, "to": 2, "delay": 12e-9, "jitter": 0, "fraction": 1},
            {"from": 1, "to": 2, "delay": 30e-9, "jitter": 0, "fraction": 1}],
  "histogramBins": 1024})";
constexpr std::uint64_t perWindow = 1000; // channel 1 pulses in a 10 ms window

kestrane::Profile profile(const char *json)
{
    kestrane::Profile p;
    std::string error;
    if (!kestrane::parseProfile(json, p, error))
        throw std::runtime_error(error);
    return p;
}

struct Block {
    std::vector<std::uint64_t> counts;
    Hist::Status status;
};

struct Blocks {
    std::mutex m;
    std::condition_variable cv;
    std::vector<Block> list;

    Hist::Callback callback()
    {
        return [this](const std::vector<std::uint64_t> &c, Hist::Status s) {
            std::lock_guard<std::mutex> lock(m);
            list.push_back({c, s});
            cv.notify_all();
        };
    }
    bool waitFor(std::size_t n, std::chrono::seconds limit = 10s)
    {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, limit, [&] { return list.size() >= n; });
    }
    std::vector<Block> take()
    {
        std::lock_guard<std::mutex> lock(m);
        return std::move(list);
    }
    std::size_t size()
    {
        std::lock_guard<std::mutex> lock(m);
        return list.size();
    }
};

class HistogrammerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        board = std::make_unique<testboards::InProcessBoard>(profile(periodicProfile));
        ASSERT_FALSE(backend.open(board->device(backend), {}, 5000ms));
        backend.loadModules(0);
        for (auto *m : backend.getModules())
            if (auto *h = dynamic_cast<Hist *>(m))
                hists.push_back(h);
        ASSERT_EQ(hists.size(), 4u) << "the profile's default";
    }

    // Ref 1 rising, meas 2 rising, 1 ns bins from `left`.
    void configure(Hist &h, double left, double right, bool multiHit = false, bool accumulate = false)
    {
        ASSERT_FALSE(h.setRefCh({1, 1}));
        ASSERT_FALSE(h.setMeasCh({2, 1}));
        ASSERT_FALSE(h.setMultiHit(multiHit));
        ASSERT_FALSE(h.setAccumulate(accumulate));
        const auto [ec, applied] = h.setBounds({left, 1e-9, right});
        ASSERT_FALSE(ec);
        ASSERT_DOUBLE_EQ(*applied.left, left);
        ASSERT_DOUBLE_EQ(*applied.binWidth, 1e-9);
    }

    std::unique_ptr<testboards::InProcessBoard> board;
    TDCBackend backend;
    std::vector<Hist *> hists;
};

// Every count of `b` lies in the bins given, with the counts given.
void expectOnly(const Block &b, std::map<std::size_t, std::uint64_t> expected, const char *what)
{
    for (std::size_t i = 0; i < b.counts.size(); ++i) {
        const auto it = expected.find(i);
        EXPECT_EQ(b.counts[i], it == expected.end() ? 0 : it->second)
            << what << ": bin " << i << " of window " << b.status.windowIndex;
    }
}

} // namespace

TEST_F(HistogrammerTest, PublishesItsLimitsAndAppliesBoundsInBothUnits)
{
    Hist &h = *hists[0];
    EXPECT_EQ(h.memoryBins, 1024u);
    EXPECT_DOUBLE_EQ(h.unit, 1e-12);
    EXPECT_LT(h.minOffset, 0);
    EXPECT_GT(h.maxOffset, 0);
    EXPECT_GT(h.minFSR, 0);
    EXPECT_GT(h.maxFSR, h.minFSR);

    // Raw: a negative left bound, read back in seconds.
    auto [ec, raw] = h.setBoundsRaw({-20000, 1000, 20000});
    ASSERT_FALSE(ec);
    EXPECT_EQ(*raw.left, -20000);
    EXPECT_EQ(*raw.binWidth, 1000);
    EXPECT_EQ(*raw.right, 20000);
    const auto b = h.getBounds();
    ASSERT_TRUE(b.left && b.binWidth && b.right);
    EXPECT_DOUBLE_EQ(*b.left, -20e-9);
    EXPECT_DOUBLE_EQ(*b.binWidth, 1e-9);
    EXPECT_DOUBLE_EQ(*b.right, 20e-9);

    // An absent member stays as it is.
    std::tie(ec, raw) = h.setBoundsRaw({std::nullopt, 500, std::nullopt});
    ASSERT_FALSE(ec);
    EXPECT_EQ(*raw.left, -20000);
    EXPECT_EQ(*raw.binWidth, 500);

    // Too fine for the memory: the board widens the bins so 1024 cover the range.
    auto [ec2, applied] = h.setBounds({0.0, 1e-12, 10e-6});
    ASSERT_FALSE(ec2);
    EXPECT_DOUBLE_EQ(*applied.binWidth, 9766e-12);
    EXPECT_EQ(applied.left, h.getBounds().left);
    // Past the limits: clamped to them.
    std::tie(ec2, applied) = h.setBounds({-1e6, std::nullopt, 1e6});
    ASSERT_FALSE(ec2);
    EXPECT_DOUBLE_EQ(*applied.left, h.minOffset);
    EXPECT_LE(*applied.right - *applied.left, h.maxFSR * (1 + 1e-12));
    // Nonsense is refused and changes nothing.
    const auto before = h.getBoundsRaw();
    EXPECT_EQ(h.setBounds({std::nan(""), 1e-9, 1e-8}).first, make_error_code(tdcError::invalidArgument));
    EXPECT_EQ(*h.getBoundsRaw().left, *before.left);
    EXPECT_EQ(h.setRefCh({1, 0}), make_error_code(tdcError::invalidArgument));
    EXPECT_EQ(h.enable(0s, 1).first, make_error_code(tdcError::invalidArgument));
}

TEST_F(HistogrammerTest, PeriodicInputsFillExactlyThePredictedBins)
{
    Hist &h = *hists[0];
    Blocks single, multi, negative;
    configure(h, 0, 100e-9);
    h.setCallback(single.callback());
    ASSERT_FALSE(h.enable(10ms, 3).first);
    ASSERT_TRUE(single.waitFor(3));
    const auto s = single.take();
    for (const auto &b : s) {
        ASSERT_EQ(b.counts.size(), 100u) << "the bins of the bounds";
        expectOnly(b, {{12, perWindow}}, "single hit: the first stop only");
    }
    EXPECT_EQ(s[0].status.windowIndex, 1u);
    EXPECT_EQ(s[2].status.windowIndex, 3u);
    EXPECT_TRUE(s[0].status.running);
    EXPECT_FALSE(s[2].status.running) << "the last block of the run";
    EXPECT_FALSE(h.isRunning());

    configure(h, 0, 100e-9, true);
    h.setCallback(multi.callback());
    ASSERT_FALSE(h.enable(10ms, 2).first);
    ASSERT_TRUE(multi.waitFor(2));
    for (const auto &b : multi.take())
        expectOnly(b, {{12, perWindow}, {30, perWindow}}, "multi-hit: every stop before the right bound");

    // Left bound 20 ns before the start: the 12 ns stop lands in bin 32.
    configure(h, -20e-9, 20e-9, true);
    h.setCallback(negative.callback());
    ASSERT_FALSE(h.enable(10ms, 2).first);
    ASSERT_TRUE(negative.waitFor(2));
    for (const auto &b : negative.take()) {
        ASSERT_EQ(b.counts.size(), 40u);
        expectOnly(b, {{32, perWindow}}, "negative left bound");
    }
}

TEST_F(HistogrammerTest, AccumulatePauseAndDisable)
{
    Hist &h = *hists[1];
    Blocks blocks;
    configure(h, 0, 50e-9, false, true);
    h.setCallback(blocks.callback());
    ASSERT_FALSE(h.enable(10ms, 0).first);
    ASSERT_TRUE(blocks.waitFor(3));
    ASSERT_FALSE(h.pause(true));
    EXPECT_FALSE(h.isRunning());
    std::this_thread::sleep_for(50ms);
    auto got = blocks.take();
    ASSERT_GE(got.size(), 4u);
    for (std::size_t i = 0; i + 1 < got.size(); ++i) {
        EXPECT_EQ(got[i].counts[12], perWindow * got[i].status.windowIndex) << "accumulate: the running total";
        EXPECT_TRUE(got[i].status.running);
    }
    const Block paused = got.back();
    EXPECT_FALSE(paused.status.running) << "pausing delivers one block that says so";
    EXPECT_GE(paused.counts[12], got[got.size() - 2].counts[12]);
    EXPECT_EQ(blocks.size(), 0u) << "nothing while paused";

    // Resuming keeps the bins.
    ASSERT_FALSE(h.pause(false));
    ASSERT_TRUE(blocks.waitFor(1));
    got = blocks.take();
    EXPECT_GE(got[0].counts[12], paused.counts[12] + perWindow);
    EXPECT_EQ(got[0].status.windowIndex, paused.status.windowIndex + 1);

    // Disabling clears them, and sends nothing.
    ASSERT_FALSE(h.disable(true));
    std::this_thread::sleep_for(40ms);
    blocks.take();
    ASSERT_FALSE(h.setAccumulate(false));
    ASSERT_FALSE(h.enable(10ms, 2).first);
    ASSERT_TRUE(blocks.waitFor(2));
    got = blocks.take();
    EXPECT_EQ(got[0].status.windowIndex, 1u);
    EXPECT_EQ(got[0].counts[12], perWindow);
    EXPECT_EQ(got[1].counts[12], perWindow) << "without accumulate each block is one window";
}

TEST_F(HistogrammerTest, AGroupOfFourRunsTheSameWindows)
{
    std::vector<Blocks> blocks(4);
    Hist::Group group;
    for (std::size_t i = 0; i < 4; ++i) {
        configure(*hists[i], 0, 100e-9);
        hists[i]->setCallback(blocks[i].callback());
        ASSERT_FALSE(group.addHistogram(*hists[i]));
    }
    ASSERT_FALSE(group.enable(10ms, 10).first);
    for (auto &b : blocks)
        ASSERT_TRUE(b.waitFor(10));
    std::this_thread::sleep_for(50ms);
    for (std::size_t i = 0; i < 4; ++i) {
        const auto got = blocks[i].take();
        ASSERT_EQ(got.size(), 10u) << "member " << i << " must stop after its last window";
        for (std::uint32_t w = 0; w < 10; ++w) {
            EXPECT_EQ(got[w].status.windowIndex, w + 1) << "member " << i;
            EXPECT_EQ(got[w].status.running, w < 9) << "member " << i << " window " << w + 1;
            EXPECT_EQ(got[w].counts[12], perWindow);
        }
        EXPECT_FALSE(hists[i]->isRunning());
    }

    // Stopping the group stops every member; a removed member is left alone.
    ASSERT_FALSE(group.removeHistogram(*hists[3]));
    ASSERT_FALSE(group.enable(10ms, 0).first);
    ASSERT_TRUE(blocks[0].waitFor(2));
    EXPECT_FALSE(hists[3]->isRunning());
    ASSERT_FALSE(group.disable(true));
    std::this_thread::sleep_for(40ms);
    for (auto &b : blocks)
        b.take();
    std::this_thread::sleep_for(40ms);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(blocks[i].size(), 0u) << "member " << i;
        EXPECT_FALSE(hists[i]->isRunning());
    }
}

TEST_F(HistogrammerTest, NoCallbackAfterTheModuleIsGoneOrTheBoardUnplugged)
{
    std::atomic<int> calls{0};
    std::atomic<bool> gone{false};
    std::atomic<bool> lateCall{false};
    configure(*hists[0], 0, 100e-9);
    hists[0]->setCallback([&](const std::vector<std::uint64_t> &, Hist::Status) {
        std::this_thread::sleep_for(5ms); // so destruction meets a running callback
        if (gone)
            lateCall = true;
        ++calls;
    });
    ASSERT_FALSE(hists[0]->enable(1ms, 0).first);
    while (calls < 3)
        std::this_thread::sleep_for(1ms);
    backend.close();
    gone = true;
    const int after = calls;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(calls, after);
    EXPECT_FALSE(lateCall);

    // Unplugged mid-run: blocks stop, nothing crashes, destruction is prompt.
    auto other = std::make_unique<testboards::InProcessBoard>(profile(periodicProfile));
    TDCBackend second;
    ASSERT_FALSE(second.open(other->device(second), {}, 5000ms));
    second.loadModules(0);
    Hist *h = nullptr;
    for (auto *m : second.getModules())
        if ((h = dynamic_cast<Hist *>(m)))
            break;
    ASSERT_TRUE(h);
    Blocks blocks;
    h->setCallback(blocks.callback());
    ASSERT_FALSE(h->enable(5ms, 0).first);
    ASSERT_TRUE(blocks.waitFor(2));
    other->remove();
    std::this_thread::sleep_for(50ms);
    const auto n = blocks.size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(blocks.size(), n);
    EXPECT_TRUE(h->disable(true)) << "the board is gone: an error, not a hang";
}
