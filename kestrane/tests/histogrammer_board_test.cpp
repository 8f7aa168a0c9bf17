// The histogrammer module on the board, on a manual clock: what it counts agrees with the
// counters, event for event.

#include <gtest/gtest.h>

#include <mutex>

#include "kestrane/board.h"
#include "modules/histogrammer/histogrammermodule.h"

using namespace std::chrono_literals;
using kestrane::Board;
using H = kestrane::HistogrammerModule;

namespace {

constexpr std::uint32_t ok = 8, slaveError = 4;

kestrane::Profile pairedProfile()
{
    kestrane::Profile p;
    std::string error;
    EXPECT_TRUE(kestrane::parseProfile(
        R"({"inputs": 2, "syncPeriod": 0, "rates": [50000, 0], "pulseWidth": 1e-9,
            "pulseHeight": {"mean": 0.5, "sigma": 0}, "histogramBins": 1024, "histogrammers": 2,
            "pairs": [{"from": 1, "to": 2, "delay": 12e-9, "jitter": 0, "fraction": 1}]})",
        p, error))
        << error;
    return p;
}

struct Pushed {
    std::mutex m;
    std::vector<std::vector<std::uint32_t>> messages;
};

} // namespace

TEST(HistogrammerBoard, HistogramTotalsAgreeWithTheCountersWindowForWindow)
{
    kestrane::ManualClock clock;
    Board board(pairedProfile(), clock.clock(), 21);
    Pushed pushed;
    board.setOutput([&](std::uint8_t, const std::vector<std::uint32_t> &p) {
        std::lock_guard<std::mutex> lock(pushed.m);
        if (p[0] & 0x80000000u)
            pushed.messages.push_back(p);
    });
    const std::uint32_t h = Board::histogrammerBase;
    const std::uint32_t counter = Board::processedCounterBase;
    ASSERT_EQ(board.writeWord(counter + 1, 100000), ok); // 100 ms, restarts at 0
    ASSERT_EQ(board.writeWord(counter, 1), ok);
    ASSERT_EQ(board.writeWord(h + H::regRef, 1 | (1 << 16)), ok);
    ASSERT_EQ(board.writeWord(h + H::regMeas, 2 | (1 << 16)), ok);
    const std::uint32_t bounds[6] = {0, 0, 1000, 0, 100000, 0}; // 0 … 100 ns in 1 ns bins
    for (std::uint32_t i = 0; i < 6; ++i)
        ASSERT_EQ(board.writeWord(h + H::regLeft + i, bounds[i]), ok);
    std::uint32_t v = 0;
    board.readWord(h + H::regBinsInUse, v);
    EXPECT_EQ(v, 100u);
    ASSERT_EQ(board.writeWord(h + H::regPeriodUs, 100000), ok);
    ASSERT_EQ(board.writeWord(h + H::regWindows, 5), ok);
    ASSERT_EQ(board.writeWord(h + H::regCommand, H::enableRun), ok);

    for (int k = 1; k <= 6; ++k) {
        clock.set(std::chrono::milliseconds(100 * k) + 1ms);
        board.service();
    }
    std::vector<std::vector<std::uint32_t>> blocks, samples;
    for (auto &m : pushed.messages)
        (m[1] == h + H::regBlock ? blocks : samples).push_back(m);
    ASSERT_EQ(blocks.size(), 5u) << "a run of five windows";
    ASSERT_GE(samples.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) {
        const auto &b = blocks[k];
        EXPECT_EQ(b[3], k + 1) << "window index";
        EXPECT_EQ(b[4], k < 4 ? H::flagRunning : H::flagLast);
        ASSERT_EQ(b[5], 100u);
        std::uint64_t total = 0;
        for (std::uint32_t i = 0; i < 100; ++i)
            total += b[6 + i];
        const std::uint32_t ch1 = samples[k][3 + 2], ch2 = samples[k][3 + 3];
        EXPECT_GT(ch1, 4000u);
        EXPECT_EQ(total, ch1) << "window " << k + 1 << ": one stop for every start";
        EXPECT_EQ(ch2, ch1);
        // Every start's own copy comes 12 ns later, unless the copy of a start a few ns
        // before it comes first (single hit): those few land in earlier bins, none later.
        EXPECT_GE(b[6 + 12], total - total / 100);
        for (std::uint32_t i = 13; i < 100; ++i)
            EXPECT_EQ(b[6 + i], 0u) << "bin " << i;
    }
    board.readWord(h + H::regStatus, v);
    EXPECT_EQ(v, 0u) << "the run is over";
}

TEST(HistogrammerBoard, RegistersRefuseWritesToWhatIsReadOnly)
{
    kestrane::ManualClock clock;
    Board board(pairedProfile(), clock.clock(), 1);
    const std::uint32_t h = Board::histogrammerBase + Board::histogrammerStride;
    std::uint32_t v = 0;
    EXPECT_EQ(board.readWord(h + H::regMemoryBins, v), ok);
    EXPECT_EQ(v, 1024u);
    EXPECT_EQ(board.writeWord(h + H::regMemoryBins, 5), slaveError);
    EXPECT_EQ(board.writeWord(h + H::regStatus, 5), slaveError);
    EXPECT_EQ(board.writeWord(h + H::regBins, 5), slaveError);
    EXPECT_EQ(board.readWord(h + H::regBins + 1023, v), ok);
    EXPECT_NE(board.readWord(h + H::regBins + 1024, v), ok) << "past the memory";
    // The period is clamped like the counters' integration time.
    ASSERT_EQ(board.writeWord(h + H::regPeriodUs, 1), ok);
    board.readWord(h + H::regPeriodUs, v);
    EXPECT_EQ(v, H::minPeriodUs);
    // Histogrammers that are off add no work: the next is the counters' first sample.
    EXPECT_EQ(board.nextDue(), std::chrono::nanoseconds(200ms));
    board.readWord(h + H::regStatus, v);
    EXPECT_EQ(v, 0u);
}
