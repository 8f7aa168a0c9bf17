#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "signal/eventengine.h"
#include "signal/modelsource.h"

using kestrane::Edge;
using kestrane::Event;
using kestrane::EventEngine;
using kestrane::Profile;

namespace {

Profile parse(const std::string &json)
{
    Profile p;
    std::string error;
    EXPECT_TRUE(kestrane::parseProfile(json, p, error)) << error;
    return p;
}

std::unique_ptr<EventEngine> engineFor(const Profile &p, std::uint64_t seed = 1)
{
    return std::make_unique<EventEngine>(kestrane::makeEventSource(p, seed), p.channels(), p.minBinWidth);
}

std::vector<Event> readAll(EventEngine::Reader &r, std::uint64_t upTo, std::size_t batch = 4096)
{
    std::vector<Event> all, buf(batch);
    for (;;) {
        const std::size_t n = r.read(upTo, buf.data(), buf.size());
        all.insert(all.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < buf.size())
            return all;
    }
}

EventEngine::Selection both(std::uint32_t channels, bool processed = false)
{
    EventEngine::Selection s = EventEngine::Selection::allRising(channels, processed);
    s.falling = s.rising;
    return s;
}

bool same(const Event &a, const Event &b)
{
    return a.time == b.time && a.channel == b.channel && a.edge == b.edge && a.lost == b.lost;
}

constexpr std::uint64_t ms = 1000000000; // board units (1 ps) per millisecond
constexpr std::uint64_t ns = 1000;

const char *randomProfile = R"({"inputs": 3, "syncPeriod": 1e-4, "rates": [200000, 50000, 0],
    "pairs": [{"from": 1, "to": 3, "delay": 1e-8, "jitter": 1e-10, "fraction": 0.5}],
    "pulseWidth": 2e-9, "deadTime": 1e-6})";

} // namespace

TEST(EventEngine, SameSeedSameEventsHoweverTheReadsAreCut)
{
    const Profile p = parse(randomProfile);
    auto a = engineFor(p, 5), b = engineFor(p, 5), c = engineFor(p, 6);
    auto ra = a->openReader(both(4), 0), rb = b->openReader(both(4), 0), rc = c->openReader(both(4), 0);
    const auto whole = readAll(*ra, 20 * ms);
    ASSERT_GT(whole.size(), 1000u);
    // The other engine is read in uneven slices with a tiny batch.
    std::vector<Event> sliced;
    std::uint64_t t = 0;
    for (int i = 0; t < 20 * ms; ++i) {
        t = std::min<std::uint64_t>(20 * ms, t + 333 * ns * 1000 + (i % 7) * 12345);
        const auto part = readAll(*rb, t, 3);
        sliced.insert(sliced.end(), part.begin(), part.end());
    }
    ASSERT_EQ(whole.size(), sliced.size());
    for (std::size_t i = 0; i < whole.size(); ++i)
        ASSERT_TRUE(same(whole[i], sliced[i])) << "event " << i;
    const auto other = readAll(*rc, 20 * ms);
    EXPECT_FALSE(other.size() == whole.size() && same(other[100], whole[100])) << "a seed of its own";
}

TEST(EventEngine, EventsComeInTimeOrderWithBothEdgesOfEveryPulse)
{
    const Profile p = parse(randomProfile);
    auto e = engineFor(p);
    auto r = e->openReader(both(4), 0);
    const auto events = readAll(*r, 50 * ms, 1000);
    std::vector<int> high(4, 0);
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i > 0) {
            ASSERT_TRUE(events[i - 1].time < events[i].time ||
                        (events[i - 1].time == events[i].time && events[i - 1].channel <= events[i].channel))
                << "event " << i;
        }
        auto &h = high[events[i].channel];
        // Rising and falling alternate on every channel.
        ASSERT_EQ(h, events[i].edge == Edge::rising ? 0 : 1) << "event " << i;
        h = 1 - h;
    }
}

TEST(EventEngine, RatesFollowTheProfileAndTheDeadTimeCostsProcessedEvents)
{
    const Profile p = parse(randomProfile);
    auto e = engineFor(p, 11);
    auto raw = e->openReader(EventEngine::Selection::allRising(4, false), 0);
    auto processed = e->openReader(EventEngine::Selection::allRising(4, true), 0);
    const double seconds = 2.0;
    const std::uint64_t end = static_cast<std::uint64_t>(seconds * 1000) * ms;
    std::vector<double> n(4, 0), np(4, 0);
    for (const auto &ev : readAll(*raw, end))
        n[ev.channel] += 1;
    for (const auto &ev : readAll(*processed, end)) {
        EXPECT_EQ(ev.lost, 0);
        np[ev.channel] += 1;
    }
    EXPECT_EQ(n[0], 20000) << "the sync channel ticks at 0, 100 µs, …";
    for (std::uint32_t c = 1; c < 4; ++c) {
        const double expected = p.inputRate(c) * seconds;
        EXPECT_NEAR(n[c], expected, 5 * std::sqrt(expected) + 0.005 * expected) << "channel " << c;
        const double expectedProcessed = p.processedRate(c) * seconds;
        EXPECT_NEAR(np[c], expectedProcessed, 5 * std::sqrt(expectedProcessed) + 0.005 * expectedProcessed)
            << "channel " << c;
    }
    EXPECT_LT(np[1], n[1] * 0.9) << "200 kHz with 1 µs dead time loses about 17 %";
    EXPECT_EQ(np[0], n[0]) << "the sync channel has no dead time";
}

// The time between a Poisson input's pulses is exponential: mean and spread 1/rate, and the
// whole shape (Kolmogorov–Smirnov), so a draw that is fast but wrong shows here.
TEST(EventEngine, PoissonGapsHaveTheExponentialMeanSpreadAndShape)
{
    const Profile p = parse(R"({"inputs": 2, "rates": [1e6, 3e6], "pulseWidth": 1e-10, "deadTime": 0})");
    auto e = engineFor(p, 21);
    // Both readers open before anything is made: the engine keeps only what readers want.
    std::vector<std::unique_ptr<EventEngine::Reader>> readers;
    for (std::uint32_t c = 1; c <= 2; ++c) {
        EventEngine::Selection s;
        s.rising = std::uint64_t(1) << c;
        readers.push_back(e->openReader(s, 0));
    }
    for (std::uint32_t c = 1; c <= 2; ++c) {
        const auto events = readAll(*readers[c - 1], 100 * ms);
        const double meanGap = 1e12 / p.rates[c - 1]; // board units
        std::vector<double> gaps;
        for (std::size_t i = 1; i < events.size(); ++i)
            gaps.push_back(static_cast<double>(events[i].time - events[i - 1].time) / meanGap);
        const double n = static_cast<double>(gaps.size());
        ASSERT_GT(n, 50000) << "channel " << c;
        double mean = 0, var = 0;
        for (double g : gaps)
            mean += g;
        mean /= n;
        for (double g : gaps)
            var += (g - mean) * (g - mean);
        var /= n - 1;
        EXPECT_NEAR(mean, 1.0, 5 / std::sqrt(n)) << "channel " << c;
        EXPECT_NEAR(var, 1.0, 5 * std::sqrt(8 / n)) << "channel " << c;
        std::sort(gaps.begin(), gaps.end());
        double d = 0;
        for (std::size_t i = 0; i < gaps.size(); ++i) {
            const double f = 1 - std::exp(-gaps[i]);
            d = std::max({d, f - static_cast<double>(i) / n, static_cast<double>(i + 1) / n - f});
        }
        EXPECT_LT(d, 1.95 / std::sqrt(n)) << "channel " << c << ": KS distance at a significance of 0.001";
    }
}

TEST(EventEngine, PeriodicInputsAndExactPairsArePredictable)
{
    const Profile p = parse(R"({"inputs": 2, "syncPeriod": 0, "periodic": true, "rates": [1000, 0],
        "pulseWidth": 5e-9, "pulseHeight": {"mean": 0.5, "sigma": 0},
        "pairs": [{"from": 1, "to": 2, "delay": 12e-9, "jitter": 0, "fraction": 1}]})");
    auto e = engineFor(p);
    auto r = e->openReader(both(3), 0);
    const auto events = readAll(*r, 10 * ms + 20 * ns);
    ASSERT_EQ(events.size(), 40u);
    for (std::uint64_t k = 1; k <= 10; ++k) {
        const Event *at = &events[(k - 1) * 4];
        EXPECT_TRUE(at[0].time == k * ms && at[0].channel == 1 && at[0].edge == Edge::rising) << k;
        EXPECT_TRUE(at[1].time == k * ms + 5 * ns && at[1].channel == 1 && at[1].edge == Edge::falling) << k;
        EXPECT_TRUE(at[2].time == k * ms + 12 * ns && at[2].channel == 2 && at[2].edge == Edge::rising) << k;
        EXPECT_TRUE(at[3].time == k * ms + 17 * ns && at[3].channel == 2 && at[3].edge == Edge::falling) << k;
    }
}

TEST(EventEngine, OverlappingPulsesMergeAndTheDeadTimeFlagsBothEdges)
{
    // Channel 2 gets its own pulse at k ms and a copy of channel 1's 2 ns later.
    const char *shape = R"({"inputs": 2, "syncPeriod": 0, "periodic": true, "rates": [1000, 1000],
        "pulseWidth": %s, "pulseHeight": {"mean": 0.5, "sigma": 0}, "deadTime": %s,
        "pairs": [{"from": 1, "to": 2, "delay": 2e-9, "jitter": 0, "fraction": 1}]})";
    char json[512];
    std::snprintf(json, sizeof json, shape, "5e-9", "0");
    {
        auto e = engineFor(parse(json));
        EventEngine::Selection ch2;
        ch2.rising = ch2.falling = 1u << 2;
        auto r = e->openReader(ch2, 0);
        const auto events = readAll(*r, 3 * ms + ms / 2);
        ASSERT_EQ(events.size(), 6u) << "one merged pulse per period";
        EXPECT_EQ(events[0].time, 1 * ms);
        EXPECT_EQ(events[1].time, 1 * ms + 7 * ns) << "the merged pulse ends with the later one";
    }
    std::snprintf(json, sizeof json, shape, "1e-9", "5e-9");
    {
        auto e = engineFor(parse(json));
        EventEngine::Selection ch2;
        ch2.rising = ch2.falling = 1u << 2;
        auto raw = e->openReader(ch2, 0);
        ch2.processed = true;
        auto processed = e->openReader(ch2, 0);
        const auto all = readAll(*raw, 3 * ms + ms / 2);
        ASSERT_EQ(all.size(), 12u);
        EXPECT_EQ(all[2].time, 1 * ms + 2 * ns);
        EXPECT_EQ(all[2].lost, 1);
        EXPECT_EQ(all[3].lost, 1) << "the falling edge of a lost pulse is lost too";
        const auto kept = readAll(*processed, 3 * ms + ms / 2);
        ASSERT_EQ(kept.size(), 6u);
        EXPECT_EQ(kept[2].time, 2 * ms);
    }
}

TEST(EventEngine, ThresholdsFollowThePulseHeightsAndTheRiceFormula)
{
    const Profile p = parse(R"({"inputs": 2, "syncPeriod": 0, "rates": [100000, 0],
        "pulseHeight": {"mean": 0.5, "sigma": 0.05}, "noise": {"sigma": 0.01, "f0": 1e6}})");
    auto e = engineFor(p, 3);
    auto r = e->openReader(EventEngine::Selection::allRising(3, false), 0);
    const auto count = [&](std::uint32_t channel, std::uint64_t until) {
        std::size_t n = 0;
        for (const auto &ev : readAll(*r, until))
            n += ev.channel == channel;
        return static_cast<double>(n);
    };
    // 100 ms at each threshold.
    std::uint64_t t = 0;
    const auto at = [&](double volts) {
        e->setThreshold(1, volts, t);
        e->setThreshold(2, volts, t);
        t += 100 * ms;
        return std::make_pair(count(1, t), 0.0);
    };
    EXPECT_NEAR(at(0.1).first, 10000, 500) << "between noise and pulses: every pulse";
    EXPECT_NEAR(at(0.5).first, 5000, 5 * std::sqrt(5000.0)) << "at the mean height half the pulses";
    EXPECT_EQ(at(1.0).first, 0) << "above every pulse nothing";
    // Channel 2 has no pulses, only noise: f0·exp(−V²/2σ²) per second.
    for (double volts : {0.0, 0.02, 0.03}) {
        e->setThreshold(2, volts, t);
        t += 100 * ms;
        const double expected = 1e6 * std::exp(-volts * volts / (2 * 0.01 * 0.01)) * 0.1;
        EXPECT_NEAR(count(2, t), expected, 5 * std::sqrt(expected) + 0.002 * expected) << volts << " V";
    }
}

TEST(EventEngine, DisabledChannelsMakeNothingAndReadersAgree)
{
    const Profile p = parse(randomProfile);
    auto e = engineFor(p);
    auto a = e->openReader(both(4), 0);
    EventEngine::Selection oneEdge;
    oneEdge.rising = 1u << 1;
    auto b = e->openReader(oneEdge, 0);
    e->setEnabled(1, false);
    for (const auto &ev : readAll(*a, 5 * ms))
        EXPECT_NE(ev.channel, 1);
    e->setEnabled(1, true);
    const auto fromA = readAll(*a, 10 * ms);
    const auto fromB = readAll(*b, 10 * ms);
    std::vector<Event> risingOfOne;
    for (const auto &ev : fromA)
        if (ev.channel == 1 && ev.edge == Edge::rising)
            risingOfOne.push_back(ev);
    for (const auto &ev : fromA)
        if (ev.channel == 1) {
            EXPECT_EQ(ev.edge, Edge::rising) << "a channel switched on starts with a whole pulse";
            break;
        }
    ASSERT_GT(fromB.size(), 100u);
    ASSERT_EQ(fromB.size(), risingOfOne.size()) << "both readers see the same events of channel 1";
    for (std::size_t i = 0; i < fromB.size(); ++i)
        ASSERT_TRUE(same(fromB[i], risingOfOne[i]));
    EXPECT_GE(fromB.front().time, 5 * ms);
}

TEST(EventEngine, NothingIsMadeUntilAskedAndSkippedEventsAreNotRead)
{
    const Profile p = parse(randomProfile);
    auto e = engineFor(p);
    auto r = e->openReader(both(4), 0);
    r->skipTo(10 * ms);
    EXPECT_EQ(e->frontier(), 0u) << "skipping ahead makes no events";
    const auto events = readAll(*r, 12 * ms);
    ASSERT_FALSE(events.empty());
    EXPECT_GE(events.front().time, 10 * ms);
    EXPECT_EQ(r->position(), 12 * ms);
    EXPECT_LT(e->retained(), 16u) << "events every reader has passed are let go";

    // A reader opened ahead of what has been made sees nothing before its start either.
    auto late = e->openReader(both(4), 20 * ms);
    const auto fromLate = readAll(*late, 21 * ms);
    ASSERT_FALSE(fromLate.empty());
    EXPECT_GE(fromLate.front().time, 20 * ms);
}

TEST(EventEngine, AReaderThatFallsBehindLosesTheOldestAndIsTold)
{
    const Profile p = parse(R"({"inputs": 1, "syncPeriod": 0, "rates": [1e9], "pulseWidth": 1e-12})");
    auto e = engineFor(p);
    auto fast = e->openReader(EventEngine::Selection::allRising(2, false), 0);
    auto slow = e->openReader(EventEngine::Selection::allRising(2, false), 0);
    std::vector<Event> buf(1 << 16);
    // 4 ms at 1 GHz: about 4 M pulses, 8 M events, far more than is kept for a reader.
    for (std::uint64_t t = ms / 4; t <= 4 * ms; t += ms / 4)
        while (fast->read(t, buf.data(), buf.size()) == buf.size()) {
        }
    EXPECT_LE(e->retained(), EventEngine::maxRetainedPerChannel + 1);
    EXPECT_EQ(fast->overrun(), 0u);
    std::uint64_t seen = 0;
    for (std::size_t n; (n = slow->read(4 * ms, buf.data(), buf.size())) > 0;)
        seen += n;
    EXPECT_GT(slow->overrun(), 1000000u);
    EXPECT_EQ(slow->overrun(1), slow->overrun());
    EXPECT_EQ(slow->overrun(0), 0u);
    EXPECT_NEAR(static_cast<double>(seen + slow->overrun()), 4e6, 2e4);
}

TEST(EventEngine, CountingGivesWhatReadingGivesPerChannel)
{
    const Profile p = parse(randomProfile);
    // Rising only on the processed path, both edges raw, and one edge of one channel.
    EventEngine::Selection fallingOf2;
    fallingOf2.falling = 1u << 2;
    for (const auto &sel : {EventEngine::Selection::allRising(4, true), both(4), fallingOf2}) {
        auto a = engineFor(p), b = engineFor(p);
        auto reader = a->openReader(sel, 3 * ms);
        auto counter = b->openReader(sel, 3 * ms);
        std::vector<std::uint64_t> read(4, 0), counted(4, 0);
        for (std::uint64_t t = 4 * ms; t <= 40 * ms; t += 7 * ms) {
            for (const Event &ev : readAll(*reader, t))
                ++read[ev.channel];
            counter->count(t, counted.data());
            EXPECT_EQ(counter->position(), t);
        }
        EXPECT_EQ(read, counted);
        EXPECT_GT(std::accumulate(counted.begin(), counted.end(), std::uint64_t(0)), 100u);
    }
}

namespace {

// Plays fixed per-channel events, so the merge can be checked against a plain sort.
class ScriptedSource : public kestrane::EventSource {
public:
    explicit ScriptedSource(std::vector<std::vector<Event>> lanes) : lanes_(std::move(lanes)), next_(lanes_.size(), 0) {}
    void produce(std::uint64_t upTo, std::vector<kestrane::EventLane> &lanes) override
    {
        for (std::size_t c = 0; c < lanes_.size(); ++c)
            for (; next_[c] < lanes_[c].size() && lanes_[c][next_[c]].time < upTo; ++next_[c])
                lanes[c].push_back(lanes_[c][next_[c]]);
    }

private:
    std::vector<std::vector<Event>> lanes_;
    std::vector<std::size_t> next_;
};

// Twelve channels (more than eight, so the merge needs four levels) with Poisson-like gaps,
// two channels firing at exactly the same times, channels that repeat a time, a burst where
// every channel crowds into a few hundred units, a quiet channel with a handful of events,
// random edges and random dead-time flags.
std::vector<std::vector<Event>> scriptedLanes(std::uint64_t seed)
{
    constexpr std::uint16_t channels = 12;
    std::vector<std::vector<Event>> lanes(channels);
    kestrane::Random rng(seed, 0);
    for (std::uint16_t c = 0; c < channels; ++c) {
        std::uint64_t t = rng.next() % 1000;
        const double meanGap = c == 11 ? 2e6 : 400.0 * (c + 1);
        while (t < 20'000'000) {
            const bool burst = t > 5'000'000 && t < 5'000'000 + 400;
            const bool repeat = c == 3 && rng.next() % 8 == 0;
            const auto edge = (rng.next() & 1) ? Edge::rising : Edge::falling;
            lanes[c].push_back({t, c, edge, static_cast<std::uint8_t>(rng.next() % 5 == 0)});
            if (!repeat)
                t += burst ? 1 + rng.next() % 3 : 1 + static_cast<std::uint64_t>(rng.exponential() * meanGap);
        }
    }
    lanes[6] = lanes[5];
    for (auto &e : lanes[6])
        e.channel = 6;
    return lanes;
}

} // namespace

TEST(EventEngine, MergedEventsAreTheStableTimeOrderOfEveryLaneWhateverTheBatch)
{
    const auto lanes = scriptedLanes(11);
    EventEngine::Selection all;
    all.rising = all.falling = (1u << 12) - 1;
    EventEngine::Selection processedRising = all;
    processedRising.falling = 0;
    processedRising.processed = true;
    EventEngine::Selection some; // a few channels, one of them on both edges
    some.rising = (1u << 1) | (1u << 5) | (1u << 6) | (1u << 11);
    some.falling = 1u << 3;
    for (const auto &sel : {all, processedRising, some}) {
        // What a reader must see: the selected events sorted by time; at equal times the lower
        // channel first, and within a channel the order of the lane.
        std::vector<Event> expected;
        for (const auto &lane : lanes)
            for (const Event &e : lane) {
                const std::uint64_t edges = e.edge == Edge::rising ? sel.rising : sel.falling;
                if (((edges >> e.channel) & 1) && !(sel.processed && e.lost))
                    expected.push_back(e);
            }
        std::stable_sort(expected.begin(), expected.end(), [](const Event &a, const Event &b) {
            return a.time != b.time ? a.time < b.time : a.channel < b.channel;
        });
        ASSERT_GT(expected.size(), 20000u);
        for (const std::size_t batch : {std::size_t(3), std::size_t(700), std::size_t(1) << 16}) {
            EventEngine engine(std::make_unique<ScriptedSource>(lanes), 12, 1e-12);
            auto r = engine.openReader(sel, 0);
            std::vector<Event> got;
            // Uneven steps, so slices start and end everywhere, the burst included.
            for (std::uint64_t t = 0; t < 21'000'000;) {
                t += 333'333 + (t % 7) * 1013;
                const auto part = readAll(*r, t, batch);
                got.insert(got.end(), part.begin(), part.end());
            }
            ASSERT_EQ(got.size(), expected.size()) << "batch " << batch;
            for (std::size_t i = 0; i < got.size(); ++i)
                ASSERT_TRUE(same(got[i], expected[i])) << "batch " << batch << ", event " << i << " at "
                                                       << got[i].time << " on " << got[i].channel;
        }
    }
}
