// What the counters, a histogram and the time tags report over the same interval agrees
// exactly, window by window, because all three read the board's one event engine. Periodic
// inputs make every number predictable as well.

#include <gtest/gtest.h>

#include <map>

#include <kestrane/board.h>

#include "modules/counter/countermodule.h"
#include "modules/histogrammer/histogrammermodule.h"
#include "modules/tagger/timetaggermodule.h"
#include "tagdecoder.h"

namespace {

using C = kestrane::CounterModule;
using H = kestrane::HistogrammerModule;
using T = kestrane::TimeTaggerModule;
using kestrane::Board;

constexpr std::int64_t windowMs = 100;
constexpr int windows = 10;

struct Seen {
    std::map<std::uint32_t, std::vector<std::vector<std::uint32_t>>> counterSamples; // per counter base
    std::vector<std::uint64_t> histogramTotals;                                     // per window
    std::vector<std::uint32_t> histogramIndices;
    std::vector<Dorrin::measurement> tags;
    std::vector<Dorrin::loss> losses;
};

} // namespace

TEST(Agreement, CountersHistogramAndTagsCountTheSameEventsInEveryWindow)
{
    kestrane::Profile p;
    std::string error;
    // Channel 1 at 10 kHz and channel 3 at 3 kHz, exactly periodic; the histogram measures
    // from each rising edge of channel 1 to its own falling edge, 5 ns later, so its total is
    // the number of channel 1 pulses.
    ASSERT_TRUE(kestrane::parseProfile(R"({"periodic": true, "rates": [10000, 1, 3000, 1, 1, 1, 1, 1],
        "pulseWidth": 5e-9, "deadTime": 0})",
                                       p, error))
        << error;
    kestrane::ManualClock clock;
    Board board(p, clock.clock());
    Seen seen;
    const std::uint32_t hist = Board::histogrammerBase;
    board.setOutput([&](std::uint8_t stream, const std::vector<std::uint32_t> &w) {
        if (stream == Board::timeTagStream) {
            std::size_t used = 0;
            EXPECT_FALSE(tagwire::decode(w.data(), w.size(), seen.tags, seen.losses, used));
            return;
        }
        if (stream != 1 || w.size() < 4 || !(w[0] & 0x80000000u))
            return;
        if (w[1] == Board::processedCounterBase + C::regSample || w[1] == Board::inputCounterBase + C::regSample)
            seen.counterSamples[w[1] - C::regSample].emplace_back(w.begin() + 3, w.end() - 1);
        if (w[1] == hist + H::regBlock) {
            seen.histogramIndices.push_back(w[3]);
            std::uint64_t total = 0;
            for (std::size_t i = 6; i + 1 < w.size(); ++i)
                total += w[i];
            seen.histogramTotals.push_back(total);
        }
    });

    // Everything starts at the same board time.
    clock.set(std::chrono::milliseconds(37));
    for (const std::uint32_t base : {Board::processedCounterBase, Board::inputCounterBase}) {
        board.writeWord(base + C::regIntegrationUs, windowMs * 1000);
        board.writeWord(base + C::regControl, C::controlAutoPush);
    }
    board.writeWord(hist + H::regRef, 1 | (1u << 16));
    board.writeWord(hist + H::regMeas, 1 | (2u << 16));
    const std::uint32_t bounds[6] = {0, 0, 16, 0, 16 * 1024, 0}; // 16 ps bins up to 16.4 ns
    for (std::uint32_t i = 0; i < 6; ++i)
        board.writeWord(hist + H::regLeft + i, bounds[i]);
    board.writeWord(hist + H::regPeriodUs, windowMs * 1000);
    board.writeWord(hist + H::regWindows, windows);
    board.writeWord(hist + H::regCommand, H::enableRun);
    board.writeWord(Board::timeTaggerBase + T::regRisingMask, 0x1FF);
    board.writeWord(Board::timeTaggerBase + T::regControl, T::controlEnable);

    for (int ms = 1; ms <= windowMs * windows; ++ms) {
        clock.advance(std::chrono::milliseconds(1));
        board.service();
    }
    board.writeWord(Board::timeTaggerBase + T::regControl, 0);
    board.service();
    // The last window's block waits until measurements that end in the next could be made.
    for (int ms = 0; ms < 5; ++ms) {
        clock.advance(std::chrono::milliseconds(1));
        board.service();
    }

    EXPECT_TRUE(seen.losses.empty());
    ASSERT_EQ(seen.histogramTotals.size(), static_cast<std::size_t>(windows));
    for (int i = 0; i < windows; ++i)
        EXPECT_EQ(seen.histogramIndices[i], static_cast<std::uint32_t>(i + 1));
    // Tags per window and channel.
    const std::uint64_t start = 37'000'000'000ull, window = windowMs * 1'000'000'000ull; // ps
    std::vector<std::vector<std::uint64_t>> tagged(windows, std::vector<std::uint64_t>(p.channels(), 0));
    for (const auto &t : seen.tags) {
        ASSERT_GE(t.tag, start);
        const auto w = (t.tag - start) / window;
        ASSERT_LT(w, static_cast<std::uint64_t>(windows));
        ++tagged[w][t.channel];
    }
    std::uint64_t total1 = 0;
    for (const std::uint32_t base : {Board::processedCounterBase, Board::inputCounterBase}) {
        const auto &samples = seen.counterSamples[base];
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(windows)) << base;
        for (int w = 0; w < windows; ++w) {
            ASSERT_EQ(samples[w].size(), 1 + p.channels());
            for (std::uint32_t c = 0; c < p.channels(); ++c)
                EXPECT_EQ(samples[w][1 + c], tagged[w][c]) << "counter " << base << " window " << w << " channel " << c;
            EXPECT_EQ(seen.histogramTotals[w], tagged[w][1]) << "window " << w;
            // 10 kHz over 100 ms, 3 kHz over 100 ms: exact to the one pulse the phase may add.
            EXPECT_NEAR(static_cast<double>(samples[w][2]), 1000.0, 1.0) << w;
            EXPECT_NEAR(static_cast<double>(samples[w][4]), 300.0, 1.0) << w;
            if (base == Board::inputCounterBase)
                total1 += samples[w][2];
        }
    }
    EXPECT_NEAR(static_cast<double>(total1), 10000.0, 1.0);
}
