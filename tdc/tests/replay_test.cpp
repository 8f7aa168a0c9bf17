// Recordings played back as the virtual board's event source: "fast" pacing plays a long
// recording in a fraction of its length with every tag counted, the link rate still bounds
// it, and a recorded correlated pair gives a histogrammer its peak in the same bin.

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <numeric>
#include <mutex>
#include <thread>

#include <kestrane/board.h>
#include <kestrane/profile.h>

#include "boards.h"
#include "modules/counter/countermodule.h"
#include "tdc/dorrin.h"
#include "tdc/dorrinfilewriter.h"
#include "tdc/rawreader.h"
#include "tdc/tdchistogrammermodule.h"

using namespace std::chrono_literals;

namespace {

std::string tempPath(const std::string &name)
{
    return "/tmp/tdc-replay-" + testboards::uniqueSerial("r") + "-" + name;
}

// A recording of `seconds`: channel 1 every millisecond, channel 2 20 ns after each.
std::string writePeriodicRecording(const std::string &name, int seconds)
{
    const auto path = tempPath(name);
    Dorrin::file_writer w(path, Dorrin::file_writer::binary, false, Dorrin::file_writer::description{1e-12, 9, "{}"},
                          1, 0, std::chrono::seconds(0), {});
    std::vector<Dorrin::measurement> batch;
    for (std::uint64_t i = 0; i < static_cast<std::uint64_t>(seconds) * 1000; ++i) {
        const std::uint64_t t = 5'000'000 + i * 1'000'000'000ull;
        batch.push_back({1, 1, t});
        batch.push_back({2, 1, t + 20'000});
        if (batch.size() >= 8192) {
            w.write(batch);
            batch.clear();
        }
    }
    w.write(batch);
    return path;
}

// Counter samples pushed by a board, added up per channel.
struct CounterTally {
    std::mutex m;
    std::condition_variable cv;
    std::map<std::uint32_t, std::vector<std::uint64_t>> perCounter; // by counter base

    void take(std::uint8_t stream, const std::vector<std::uint32_t> &p)
    {
        using C = kestrane::CounterModule;
        if (stream != 1 || p.size() < 5 || !(p[0] & 0x80000000u))
            return;
        for (const std::uint32_t base : {kestrane::Board::processedCounterBase, kestrane::Board::inputCounterBase})
            if (p[1] == base + C::regSample) {
                std::lock_guard<std::mutex> lock(m);
                auto &t = perCounter[base];
                t.resize(p[2] - 1, 0);
                for (std::size_t c = 0; c + 1 < p[2]; ++c)
                    t[c] += p[4 + c];
            }
        cv.notify_all();
    }
    std::uint64_t channel(std::uint32_t base, std::size_t c)
    {
        std::lock_guard<std::mutex> lock(m);
        const auto &t = perCounter[base];
        return c < t.size() ? t[c] : 0;
    }
};

kestrane::Profile fastReplay(const std::string &path, double linkRate = 400e6)
{
    kestrane::Profile p;
    p.replay = {path};
    p.replayPacing = kestrane::ReplayPacing::fast;
    p.tagLinkRate = linkRate;
    return p;
}

void pushCounters(kestrane::Board &board, std::uint32_t integrationUs)
{
    using C = kestrane::CounterModule;
    for (const std::uint32_t base : {kestrane::Board::processedCounterBase, kestrane::Board::inputCounterBase}) {
        board.writeWord(base + C::regIntegrationUs, integrationUs);
        board.writeWord(base + C::regControl, C::controlAutoPush);
    }
}

} // namespace

TEST(Replay, FastPacingPlaysALongRecordingInAFractionOfItsLengthWithEveryTagCounted)
{
    const auto path = writePeriodicRecording("fast.bin", 30);
    kestrane::Board board(fastReplay(path));
    CounterTally tally;
    board.setOutput([&](std::uint8_t s, const std::vector<std::uint32_t> &p) { tally.take(s, p); });
    pushCounters(board, 100'000);
    const auto start = std::chrono::steady_clock::now();
    board.start();
    // On the wall clock the recording would need 31 s; fast, it is over soon after the
    // one-second lead-in. Ten seconds leaves room for a loaded machine.
    const auto done = [&] {
        return tally.channel(kestrane::Board::inputCounterBase, 2) == 30'000 &&
               tally.channel(kestrane::Board::processedCounterBase, 2) == 30'000;
    };
    {
        std::unique_lock<std::mutex> lock(tally.m);
        lock.unlock();
        while (!done() && std::chrono::steady_clock::now() - start < 10s) {
            lock.lock();
            tally.cv.wait_for(lock, 50ms);
            lock.unlock();
        }
    }
    board.stop();
    for (const std::uint32_t base : {kestrane::Board::processedCounterBase, kestrane::Board::inputCounterBase}) {
        EXPECT_EQ(tally.channel(base, 1), 30'000u) << base;
        EXPECT_EQ(tally.channel(base, 2), 30'000u) << base;
        EXPECT_EQ(tally.channel(base, 3), 0u) << base;
        EXPECT_EQ(tally.channel(base, 0), 0u) << base; // the recording has no sync
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    std::remove(path.c_str());
}

TEST(Replay, FastPacingStillKeepsToTheLinkRate)
{
    // Two counters pushing every millisecond make about 130 kB per board second with their
    // framing, so a link of 336 kB/s carries between two and three board seconds per wall
    // second: after the one-second lead-in (on the wall clock), 2 s of fast play reach about 5 s
    // of the recording, where the wall clock would have played 2 s and an unlimited link all 30.
    const auto path = writePeriodicRecording("slowlink.bin", 30);
    kestrane::Board board(fastReplay(path, 336e3));
    CounterTally tally;
    board.setOutput([&](std::uint8_t s, const std::vector<std::uint32_t> &p) { tally.take(s, p); });
    pushCounters(board, 1000);
    board.start();
    std::this_thread::sleep_for(3s);
    board.stop();
    const auto counted = tally.channel(kestrane::Board::inputCounterBase, 1);
    EXPECT_GT(counted, 3'000u); // well ahead of the wall clock's 2,000
    EXPECT_LT(counted, 12'000u); // held back by the link
    std::remove(path.c_str());
}

TEST(Replay, AReplayedCorrelatedPairPutsTheHistogramPeakInTheRecordedBin)
{
    // Record channel 1 and its partner on channel 2 (18.5 ns later, 40 ps jitter) from a board.
    kestrane::Profile recorded;
    std::string error;
    ASSERT_TRUE(kestrane::parseProfile(R"({"rates":[20000,1,1,1,1,1,1,1], "deadTime": 0,
        "pairs":[{"from":1,"to":2,"delay":18.5e-9,"jitter":40e-12,"fraction":1}]})",
                                       recorded, error))
        << error;
    const auto path = tempPath("pair.bin");
    {
        testboards::InProcessBoard b(recorded);
        TDCBackend backend;
        ASSERT_FALSE(backend.open(b.device(backend), {}, 5000ms));
        backend.loadModules(0);
        Dorrin *tagger = nullptr;
        for (auto *m : backend.getModules())
            if (auto *d = dynamic_cast<Dorrin *>(m))
                tagger = d;
        ASSERT_NE(tagger, nullptr);
        Dorrin::file_writer w(path, Dorrin::file_writer::binary, false, tagger, 1, 0, std::chrono::seconds(0), {});
        ASSERT_FALSE(tagger->enable([&](const std::vector<Dorrin::measurement> &batch) { w.write(batch); }, 0,
                                    {{1, TDCChannel::RISING}, {2, TDCChannel::RISING}}, 0));
        std::this_thread::sleep_for(400ms);
        ASSERT_FALSE(tagger->disable());
        ASSERT_TRUE(tagger->queue_waitEmpty(2000ms));
        ASSERT_EQ(tagger->lost_events(), 0u);
    }

    // The histogram of the file itself: each channel 1 tag to the next channel 2 tag, 16 ps bins.
    constexpr std::int64_t bin = 16, right = 16 * 4096;
    std::vector<Dorrin::measurement> tags;
    {
        tdcraw::Reader r;
        ASSERT_FALSE(r.open(path));
        std::vector<Dorrin::loss> markers;
        for (bool end = false; !end;)
            ASSERT_FALSE(r.next(tags, markers, end));
    }
    std::vector<std::uint64_t> expected(right / bin, 0);
    std::vector<std::uint64_t> stops;
    for (const auto &t : tags)
        if (t.channel == 2)
            stops.push_back(t.tag);
    for (const auto &t : tags) {
        if (t.channel != 1)
            continue;
        const auto it = std::lower_bound(stops.begin(), stops.end(), t.tag);
        if (it != stops.end() && static_cast<std::int64_t>(*it - t.tag) < right)
            ++expected[static_cast<std::size_t>(*it - t.tag) / bin];
    }
    const auto expectedPeak = std::max_element(expected.begin(), expected.end()) - expected.begin();
    ASSERT_GT(expected[expectedPeak], 500u);
    EXPECT_NEAR(static_cast<double>(expectedPeak), 18500.0 / bin, 2.0);

    // Replay it, fast, with a histogrammer between the pair.
    testboards::InProcessBoard replay(fastReplay(path));
    TDCBackend backend;
    ASSERT_FALSE(backend.open(replay.device(backend), {}, 5000ms));
    backend.loadModules(0);
    TDCHistogrammerModule *h = nullptr;
    for (auto *m : backend.getModules())
        if (auto *x = dynamic_cast<TDCHistogrammerModule *>(m); x && !h)
            h = x;
    ASSERT_NE(h, nullptr);
    ASSERT_FALSE(h->setRefCh({1, 1}));
    ASSERT_FALSE(h->setMeasCh({2, 1}));
    ASSERT_FALSE(h->setBoundsRaw({0, bin, right}).first);
    ASSERT_FALSE(h->setAccumulate(true));
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::uint64_t> latest;
    h->setCallback([&](const std::vector<std::uint64_t> &counts, TDCHistogrammerModule::Status) {
        std::lock_guard<std::mutex> lock(m);
        latest = counts;
        cv.notify_all();
    });
    ASSERT_FALSE(h->enable(50ms, 0).first);
    const std::uint64_t total = std::accumulate(expected.begin(), expected.end(), std::uint64_t(0));
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, 10s, [&] {
            return std::accumulate(latest.begin(), latest.end(), std::uint64_t(0)) >= total;
        });
    }
    h->disable(true);
    h->setCallback({});
    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(latest.size(), expected.size());
    const auto peak = std::max_element(latest.begin(), latest.end()) - latest.begin();
    EXPECT_EQ(peak, expectedPeak);
    EXPECT_EQ(latest[peak], expected[expectedPeak]);
    EXPECT_EQ(latest, expected);
    std::remove(path.c_str());
}
