// The legacy histogrammer through the whole stack against the virtual board: its parameters
// in both directions, its time trigger and state callback, and callbacks that stop when the
// module or the board goes.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>

#include "boards.h"
#include "tdc/tdcerror.h"
#include "tdc/tdcoldhistogrammermodule.h"

using namespace std::chrono_literals;
using Module = TDCOldHistogrammerModule;

namespace {

// What the callbacks saw, in order.
struct Recorder {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> events; // "counts" or "state 0/1"
    std::vector<std::uint64_t> lastCounts;
    std::atomic<int> calls{0};
    bool mutexWasFree = true;

    void attach(Module &h)
    {
        h.setCallback([this](std::mutex &lib, const std::vector<std::uint64_t> &c) {
            const bool free = lib.try_lock();
            if (free)
                lib.unlock();
            std::lock_guard<std::mutex> lock(m);
            mutexWasFree = mutexWasFree && free;
            lastCounts = c;
            events.push_back("counts");
            ++calls;
            cv.notify_all();
        });
        h.setStateChangeCallback([this](bool running) {
            std::lock_guard<std::mutex> lock(m);
            events.push_back(running ? "state 1" : "state 0");
            ++calls;
            cv.notify_all();
        });
    }
    bool waitFor(const std::string &what, std::chrono::milliseconds limit = 5000ms)
    {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, limit,
                           [&] { return std::find(events.begin(), events.end(), what) != events.end(); });
    }
};

class OldHistogrammer : public ::testing::Test {
protected:
    void SetUp() override
    {
        board = std::make_unique<testboards::InProcessBoard>();
        const auto device = board->device(backend);
        ASSERT_FALSE(device.empty());
        ASSERT_FALSE(backend.open(device, {}, 5000ms));
        ASSERT_NO_THROW(backend.loadModules(0));
        for (auto *m : backend.getModules())
            if (auto *h = dynamic_cast<Module *>(m))
                hist = h;
        ASSERT_NE(hist, nullptr);
    }

    std::unique_ptr<testboards::InProcessBoard> board;
    Recorder rec; // outlives the backend and so every callback
    TDCBackend backend;
    Module *hist = nullptr;
};

} // namespace

TEST_F(OldHistogrammer, ParametersAreAppliedAndReadBack)
{
    const auto profile = kestrane::defaultProfile();
    EXPECT_EQ(hist->bin_addr_width, 12u);
    EXPECT_EQ(hist->bin_data_width, 16u);
    EXPECT_EQ(hist->bitOverflow, 8u);
    EXPECT_EQ(hist->maxBitTrunc(), profile.coarseBits + profile.fineBits + hist->bitOverflow - hist->bin_addr_width);
    EXPECT_DOUBLE_EQ(hist->minBinWidth(), profile.minBinWidth);

    // 10 ps is nearest to 8 ps = 1 ps × 2^3.
    ASSERT_FALSE(hist->setBinW(Module::duration(10e-12)));
    EXPECT_EQ(hist->getBitTrunc(true), 3);
    EXPECT_DOUBLE_EQ(hist->getBinW().count(), 8e-12);
    EXPECT_DOUBLE_EQ(hist->getFSR().count(), 8e-12 * 4096);
    ASSERT_FALSE(hist->setFSR(Module::duration(4096 * 64e-12)));
    EXPECT_EQ(hist->getBitTrunc(true), 6);
    EXPECT_EQ(hist->setBitTrunc(static_cast<unsigned char>(hist->maxBitTrunc() + 1)),
              make_error_code(tdcError::invalidArgument));
    EXPECT_EQ(hist->getBitTrunc(true), 6) << "a refused value changes nothing";
    ASSERT_FALSE(hist->setBitTrunc(static_cast<unsigned char>(hist->maxBitTrunc())));
    EXPECT_EQ(hist->getBitTrunc(true), hist->maxBitTrunc());
    EXPECT_EQ(hist->setBinW(Module::duration(-1e-12)), make_error_code(tdcError::invalidArgument));

    ASSERT_FALSE(hist->setTimeOffset(Module::duration(12.345e-9)));
    EXPECT_NEAR(hist->getTimeOffset(true).count(), 12.345e-9, 1e-15);
    ASSERT_FALSE(hist->setTimeOffset(Module::duration(3.0e-3)) ) << "beyond 32 bits of 1 ps";
    EXPECT_NEAR(hist->getTimeOffset(true).count(), 3.0e-3, 1e-15);
    EXPECT_EQ(hist->setTimeOffset(Module::duration(-1e-9)), make_error_code(tdcError::invalidArgument));

    ASSERT_FALSE(hist->setRefCH(0, TDCChannel::FALLING));
    ASSERT_FALSE(hist->setMeasCH(3, TDCChannel::BOTH));
    EXPECT_EQ(hist->getRefCH(), Module::ChannelAndEdge(0, TDCChannel::FALLING));
    EXPECT_EQ(hist->getMeasCH(), Module::ChannelAndEdge(3, TDCChannel::BOTH));
    std::uint32_t word = 0;
    board->virtualDevice().board().readWord(kestrane::Board::legacyHistogrammerBase + 0x0B, word);
    EXPECT_EQ(word, 3u | (3u << 16));
    EXPECT_EQ(hist->setMeasCH(static_cast<std::uint16_t>(profile.channels()), TDCChannel::RISING),
              make_error_code(tdcError::invalidArgument));
    EXPECT_EQ(hist->setMeasCH(1, static_cast<TDCChannel::edgeTrigger_type>(0)),
              make_error_code(tdcError::invalidArgument));
    EXPECT_EQ(hist->getMeasCH(), Module::ChannelAndEdge(3, TDCChannel::BOTH));
}

TEST_F(OldHistogrammer, TimeTriggerEndsTheWindowWithCountsThenTheStoppedState)
{
    rec.attach(*hist);
    ASSERT_FALSE(hist->setTimeTrig(Module::duration(0.03)));
    EXPECT_FALSE(hist->isStarted(true));
    ASSERT_FALSE(hist->startIntegration());
    EXPECT_TRUE(hist->isStarted(false));
    ASSERT_TRUE(rec.waitFor("state 0"));
    {
        std::lock_guard<std::mutex> lock(rec.m);
        ASSERT_EQ(rec.events, (std::vector<std::string>{"state 1", "counts", "state 0"}));
        EXPECT_EQ(rec.lastCounts.size(), 4096u);
        EXPECT_TRUE(rec.mutexWasFree) << "the library's mutex is handed over unlocked";
    }
    EXPECT_FALSE(hist->isStarted(false));
    EXPECT_FALSE(hist->isStarted(true));

    // Without the trigger the histogram runs until paused; a forced push delivers the counts.
    ASSERT_FALSE(hist->disableTimeTrig());
    ASSERT_FALSE(hist->startIntegration());
    std::this_thread::sleep_for(60ms);
    EXPECT_TRUE(hist->isStarted(true));
    {
        std::lock_guard<std::mutex> lock(rec.m);
        rec.events.clear();
    }
    ASSERT_FALSE(hist->forcePush());
    ASSERT_TRUE(rec.waitFor("counts"));
    ASSERT_FALSE(hist->pauseIntegration());
    ASSERT_TRUE(rec.waitFor("state 0"));
    EXPECT_FALSE(hist->isStarted(true));
}

TEST_F(OldHistogrammer, NoCallbackAfterTheModuleOrTheBoardIsGone)
{
    rec.attach(*hist);
    ASSERT_FALSE(hist->setAutoPush(true));
    ASSERT_FALSE(hist->startIntegration());
    ASSERT_TRUE(rec.waitFor("counts", 3000ms)) << "auto push every 200 ms";
    backend.close();
    const int after = rec.calls;
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(rec.calls, after);
    std::uint32_t control = 0;
    board->virtualDevice().board().readWord(kestrane::Board::legacyHistogrammerBase + 0x05, control);
    EXPECT_EQ(control & 3u, 0u) << "the module left the board quiet";

    // Unplugged while pushing: the library stops calling and closing still works.
    ASSERT_FALSE(backend.open(board->device(backend), {}, 5000ms));
    ASSERT_NO_THROW(backend.loadModules(0));
    for (auto *m : backend.getModules())
        if (auto *h = dynamic_cast<Module *>(m))
            hist = h;
    rec.attach(*hist);
    ASSERT_FALSE(hist->setAutoPush(true));
    ASSERT_FALSE(hist->startIntegration());
    std::this_thread::sleep_for(250ms);
    board->remove();
    std::this_thread::sleep_for(100ms);
    const int whenGone = rec.calls;
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(rec.calls, whenGone);
    EXPECT_NE(hist->forcePush(), std::error_code{});
    backend.close();
}

TEST(OldHistogrammerCounts, PeriodicInputsLandInThePredictedBinOnly)
{
    // The sync every 10 µs; channel 1 repeats every sync 10 ns later, exactly.
    kestrane::Profile profile;
    std::string error;
    ASSERT_TRUE(kestrane::parseProfile(R"({"inputs": 2, "syncPeriod": 1e-5, "rates": [0, 0], "periodic": true,
        "pairs": [{"from": 0, "to": 1, "delay": 1e-8, "jitter": 0, "fraction": 1}], "deadTime": 0})",
                                       profile, error))
        << error;
    testboards::InProcessBoard board(profile);
    Recorder rec;
    TDCBackend backend;
    ASSERT_FALSE(backend.open(board.device(backend), {}, 5000ms));
    ASSERT_NO_THROW(backend.loadModules(0));
    Module *hist = nullptr;
    for (auto *m : backend.getModules())
        if (auto *h = dynamic_cast<Module *>(m))
            hist = h;
    ASSERT_NE(hist, nullptr);
    rec.attach(*hist);
    ASSERT_FALSE(hist->setRefCH(0, TDCChannel::RISING));
    ASSERT_FALSE(hist->setMeasCH(1, TDCChannel::RISING));
    ASSERT_FALSE(hist->setBitTrunc(3));
    ASSERT_FALSE(hist->setTimeOffset(Module::duration(2e-9)));
    ASSERT_FALSE(hist->setTimeTrig(Module::duration(0.05)));
    ASSERT_FALSE(hist->startIntegration());
    ASSERT_TRUE(rec.waitFor("state 0"));
    std::vector<std::uint64_t> counts;
    {
        std::lock_guard<std::mutex> lock(rec.m);
        counts = rec.lastCounts;
    }
    ASSERT_EQ(counts.size(), 4096u);
    // (10 ns − 2 ns) / (1 ps × 2^3) = bin 1000; 50 ms hold 5000 syncs.
    std::uint64_t total = 0;
    for (const auto c : counts)
        total += c;
    EXPECT_NEAR(static_cast<double>(counts[1000]), 5000, 1);
    EXPECT_EQ(total, counts[1000]) << "every count in the predicted bin";

    // The falling edge comes a pulse width later; with "both" edges the rising one still ends
    // each measurement first.
    ASSERT_FALSE(hist->setMeasCH(1, TDCChannel::BOTH));
    ASSERT_FALSE(hist->startIntegration());
    {
        std::lock_guard<std::mutex> lock(rec.m);
        rec.events.clear();
    }
    ASSERT_TRUE(rec.waitFor("state 0"));
    std::lock_guard<std::mutex> lock(rec.m);
    EXPECT_NEAR(static_cast<double>(rec.lastCounts[1000]), 5000, 1) << "a new window starts from empty bins";
}
