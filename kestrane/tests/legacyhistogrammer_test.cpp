// The legacy histogrammer on hand-made periodic events: where counts land, how bins
// saturate, and how its time trigger, pushes and run control behave on board time.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "kestrane/board.h"
#include "modules/legacy/legacyhistogrammer.h"

using kestrane::EdgeEvent;
using kestrane::LegacyBinner;
using kestrane::LegacyHistogrammer;
using kestrane::Outbox;
using kestrane::Status;

namespace {

constexpr std::int64_t ms = 1000000;
constexpr std::uint32_t base = 0x4000;

// Sync rises every `period` units (1 ps each, 1000 per ns); channel 1 rises `delay` units
// after each sync and falls `width` units later.
struct Periodic {
    std::uint64_t period = 1000000;
    std::uint64_t delay = 1234;
    std::uint64_t width = 500;
    std::uint64_t delivered = 0;

    LegacyHistogrammer::EventReader reader()
    {
        return [this](std::int64_t from, std::int64_t to, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                      std::vector<EdgeEvent> &out) {
            const std::uint64_t a = static_cast<std::uint64_t>(from) * 1000, b = static_cast<std::uint64_t>(to) * 1000;
            std::vector<EdgeEvent> events;
            // Pulses whose sync lies up to one period before the interval may still put edges in it.
            for (std::uint64_t k = a / period == 0 ? 0 : a / period - 1; k * period < b; ++k) {
                const std::uint64_t t = k * period;
                for (const EdgeEvent e : {EdgeEvent{t, 0, 1}, EdgeEvent{t + delay, 1, 1},
                                          EdgeEvent{t + delay + width, 1, 2}})
                    if (e.time >= a && e.time < b)
                        events.push_back(e);
            }
            std::sort(events.begin(), events.end(), [](auto &x, auto &y) { return x.time < y.time; });
            delivered += events.size();
            out.insert(out.end(), events.begin(), events.end());
        };
    }
};

struct Rig {
    Periodic source;
    int releases = 0;
    LegacyHistogrammer module{base, 9, 8, 16, 1000, source.reader(), [this] { ++releases; }};
    std::int64_t now = 0;
    Outbox out;

    void write(std::uint32_t offset, std::uint32_t value)
    {
        ASSERT_EQ(module.canWrite(offset), Status::ok) << offset;
        module.write(offset, value, now);
    }
    std::uint32_t read(std::uint32_t offset)
    {
        std::uint32_t v = 0;
        EXPECT_EQ(module.read(offset, v), Status::ok);
        return v;
    }
    // Advances board time in small steps, servicing as the pacing thread would.
    void run(std::int64_t duration, std::int64_t step = ms)
    {
        const std::int64_t end = now + duration;
        module.service(now, out);
        while (now < end) {
            now = std::min(end, now + step);
            module.service(now, out);
        }
    }
    std::vector<std::uint32_t> bins()
    {
        std::vector<std::uint32_t> b;
        for (std::uint32_t i = 0; i < (1u << LegacyHistogrammer::addrWidth); ++i)
            b.push_back(read(LegacyHistogrammer::regBins + i));
        return b;
    }
    // Changes the control bits in `bits` to `on`, leaving the others.
    void control(std::uint32_t bits, bool on)
    {
        write(LegacyHistogrammer::regControl, (bits << LegacyHistogrammer::controlWriteShift) | (on ? bits : 0));
    }
    void start() { control(LegacyHistogrammer::controlRun, true); }
};

std::uint64_t total(const std::vector<std::uint32_t> &bins)
{
    return std::accumulate(bins.begin(), bins.end(), std::uint64_t(0));
}

} // namespace

TEST(LegacyBinner, BitTruncationAndOffsetPlaceEveryCount)
{
    struct Case {
        unsigned trunc;
        std::uint64_t offset;
        std::uint64_t delay;
        long bin; // -1: outside
    };
    const Case cases[] = {
        {0, 0, 1234, 1234},       {3, 0, 1234, 154},         {0, 1000, 1234, 234},
        {2, 1000, 1234, 58},      {0, 0, 4095, 4095},        {0, 0, 4096, -1},
        {4, 0, 4096 * 16 - 1, 4095}, {4, 0, 4096 * 16, -1},  {0, 2000, 1234, -1},
    };
    for (const auto &c : cases) {
        LegacyBinner b(12, 16, 32);
        b.setBitTrunc(c.trunc);
        b.setOffset(c.offset);
        for (std::uint64_t k = 0; k < 10; ++k) {
            b.event(k * 1000000, true, false);
            b.event(k * 1000000 + c.delay, false, true);
        }
        const auto &bins = b.bins();
        const std::uint64_t sum = total(bins);
        if (c.bin < 0) {
            EXPECT_EQ(sum, 0u) << "trunc " << c.trunc << " offset " << c.offset << " delay " << c.delay;
        } else {
            EXPECT_EQ(bins[static_cast<std::size_t>(c.bin)], 10u) << "trunc " << c.trunc << " delay " << c.delay;
            EXPECT_EQ(sum, 10u);
        }
    }
}

TEST(LegacyBinner, OnlyTheFirstHitAfterAStartCountsAndDifferencesBeyondTheStampsDoNot)
{
    LegacyBinner b(12, 16, 12);
    b.event(0, true, false);
    b.event(10, false, true);
    b.event(20, false, true); // second hit of the same start: not counted
    b.event(100, true, false);
    b.event(200, true, false); // restarts: the next hit measures from 200
    b.event(230, false, true);
    b.event(5000, true, false);
    b.event(5000 + 4096, false, true); // beyond 12 stamp bits
    EXPECT_EQ(b.bins()[10], 1u);
    EXPECT_EQ(b.bins()[20], 0u);
    EXPECT_EQ(b.bins()[30], 1u);
    EXPECT_EQ(b.bins()[130], 0u);
    EXPECT_EQ(total(b.bins()), 2u);

    // One channel as both start and stop measures its own period.
    LegacyBinner self(12, 16, 32);
    for (std::uint64_t t = 0; t < 10 * 700; t += 700)
        self.event(t, true, true);
    EXPECT_EQ(self.bins()[700], 9u);
}

TEST(LegacyBinner, CountersSaturateInsteadOfWrapping)
{
    LegacyBinner b(4, 16, 32);
    for (std::uint64_t k = 0; k < 70000; ++k) {
        b.event(k * 100, true, false);
        b.event(k * 100 + 3, false, true);
    }
    EXPECT_EQ(b.bins()[3], 65535u);
    b.clear();
    EXPECT_EQ(b.bins()[3], 0u);

    LegacyBinner narrow(4, 3, 32);
    for (std::uint64_t k = 0; k < 9; ++k) {
        narrow.event(k * 100, true, false);
        narrow.event(k * 100 + 3, false, true);
    }
    EXPECT_EQ(narrow.bins()[3], 7u);
}

TEST(LegacyHistogrammer, CountsPeriodicInputsInThePredictedBinOnlyWhileRunning)
{
    Rig r;
    r.write(LegacyHistogrammer::regReference, 0 | (1u << 16));
    r.write(LegacyHistogrammer::regMeasurement, 1 | (1u << 16));
    r.write(LegacyHistogrammer::regBitTrunc, 2);
    r.run(50 * ms);
    EXPECT_EQ(r.source.delivered, 0u) << "a stopped module asks for no events";
    EXPECT_EQ(total(r.bins()), 0u);

    r.start();
    r.run(10 * ms);
    // 10 ms at a 1 us period: 10 000 syncs, each followed by one hit 1234 units later.
    auto bins = r.bins();
    EXPECT_EQ(bins[1234 >> 2], 10000u);
    EXPECT_EQ(total(bins), bins[1234 >> 2]);

    // Paused: bins kept, nothing added.
    r.control(LegacyHistogrammer::controlRun, false);
    EXPECT_EQ(r.releases, 1) << "a paused module lets its events go";
    const auto kept = r.bins();
    r.run(10 * ms);
    EXPECT_EQ(r.bins(), kept);

    // The falling edge sits `width` after the rising one.
    r.write(LegacyHistogrammer::regCommand, LegacyHistogrammer::commandClear);
    r.write(LegacyHistogrammer::regMeasurement, 1 | (2u << 16));
    r.start();
    r.run(5 * ms);
    bins = r.bins();
    EXPECT_EQ(bins[(1234 + 500) >> 2], 5000u);
    EXPECT_EQ(total(bins), bins[(1234 + 500) >> 2]);
}

TEST(LegacyHistogrammer, RegistersClampAndRefuse)
{
    Rig r;
    r.write(LegacyHistogrammer::regBitTrunc, 200);
    EXPECT_EQ(r.read(LegacyHistogrammer::regBitTrunc), r.module.maxBitTrunc());
    EXPECT_EQ(r.read(LegacyHistogrammer::regStampBits), 8u + 16u + 8u);
    EXPECT_EQ(r.module.maxBitTrunc(), 32u - 12u);
    r.write(LegacyHistogrammer::regReference, 5); // edge 0
    EXPECT_EQ(r.read(LegacyHistogrammer::regReference), 5u | (1u << 16));
    EXPECT_EQ(r.read(LegacyHistogrammer::regChannels), 9u);
    // Control bits change only where the write's mask says so.
    r.control(LegacyHistogrammer::controlAutoPush | LegacyHistogrammer::controlTrigger, true);
    r.write(LegacyHistogrammer::regControl, 0x7); // no mask: nothing changes
    EXPECT_EQ(r.read(LegacyHistogrammer::regControl), LegacyHistogrammer::controlAutoPush | LegacyHistogrammer::controlTrigger);
    r.control(LegacyHistogrammer::controlAutoPush, false);
    EXPECT_EQ(r.read(LegacyHistogrammer::regControl), LegacyHistogrammer::controlTrigger);
    r.write(LegacyHistogrammer::regOffsetLow, 0xFFFFFFFF);
    r.write(LegacyHistogrammer::regOffsetHigh, 7);
    EXPECT_EQ(r.read(LegacyHistogrammer::regOffsetLow), 0xFFFFFFFFu) << "clamped below 2^32";
    EXPECT_EQ(r.read(LegacyHistogrammer::regOffsetHigh), 0u);
    for (std::uint32_t ro : {LegacyHistogrammer::regAddrWidth, LegacyHistogrammer::regStatus,
                             LegacyHistogrammer::regWindows, LegacyHistogrammer::regBins + 3})
        EXPECT_EQ(r.module.canWrite(ro), Status::slaveError) << ro;
    EXPECT_EQ(r.module.canWrite(LegacyHistogrammer::windowSize), Status::decodeError);
}

TEST(LegacyHistogrammer, TimeTriggerEndsTheWindowPushingBinsThenState)
{
    Rig r;
    r.write(LegacyHistogrammer::regTriggerLow, 20000); // 20 ms
    r.control(LegacyHistogrammer::controlTrigger, true);
    r.start();
    r.run(1, 1);
    ASSERT_EQ(r.out.size(), 1u) << "the start is reported";
    EXPECT_EQ(r.out[0].second[1], base + LegacyHistogrammer::regStatus);
    EXPECT_EQ(r.out[0].second[3], LegacyHistogrammer::statusRunning);
    r.out.clear();

    r.run(30 * ms, 3 * ms);
    ASSERT_EQ(r.out.size(), 2u);
    const auto &bins = r.out[0].second;
    EXPECT_EQ(bins[1], base + LegacyHistogrammer::regBins);
    ASSERT_EQ(bins.size(), 4u + 4096u);
    // Exactly the 20 ms window: 20 000 syncs (the one at the window's very start included).
    EXPECT_EQ(bins[3 + 1234], 20000u);
    const auto &state = r.out[1].second;
    EXPECT_EQ(state[1], base + LegacyHistogrammer::regStatus);
    EXPECT_EQ(state[3], LegacyHistogrammer::statusWindowEnded);
    EXPECT_EQ(r.read(LegacyHistogrammer::regWindows), 1u);
    EXPECT_EQ(r.read(LegacyHistogrammer::regControl) & LegacyHistogrammer::controlRun, 0u);
    EXPECT_EQ(r.releases, 1);

    // The next start is a fresh window.
    r.out.clear();
    r.start();
    r.run(5 * ms);
    EXPECT_NEAR(static_cast<double>(r.bins()[1234]), 5000, 1) << "the start is 1 ns off the sync grid";
    // Disarming lets it run on past the window length.
    r.control(LegacyHistogrammer::controlTrigger, false);
    r.run(40 * ms);
    EXPECT_EQ(r.read(LegacyHistogrammer::regStatus), LegacyHistogrammer::statusRunning);
    EXPECT_EQ(r.read(LegacyHistogrammer::regWindows), 1u);
}

TEST(LegacyHistogrammer, ArmingTheTriggerOfARunningHistogramBeginsAWindow)
{
    Rig r;
    r.start();
    r.run(5 * ms);
    r.write(LegacyHistogrammer::regTriggerLow, 10000);
    r.control(LegacyHistogrammer::controlTrigger, true);
    r.out.clear();
    r.run(15 * ms);
    EXPECT_EQ(r.read(LegacyHistogrammer::regWindows), 1u);
    EXPECT_EQ(r.bins()[1234], 10000u) << "the window alone, from the arming on";
}

TEST(LegacyHistogrammer, AutoPushEvery200msAndPushOnCommand)
{
    Rig r;
    r.source.period = 100000000;
    r.control(LegacyHistogrammer::controlRun | LegacyHistogrammer::controlAutoPush, true);
    r.run(1, 1);
    r.out.clear();
    r.run(1000 * ms, 10 * ms);
    std::size_t binPushes = 0;
    for (const auto &[stream, msg] : r.out)
        binPushes += stream == 1 && msg[1] == base + LegacyHistogrammer::regBins;
    EXPECT_EQ(binPushes, 5u);

    r.module.hostDetached();
    r.out.clear();
    r.run(500 * ms, 10 * ms);
    EXPECT_TRUE(r.out.empty()) << "a detached host stops auto push";

    r.write(LegacyHistogrammer::regCommand, LegacyHistogrammer::commandPush);
    EXPECT_EQ(r.module.nextDue(), 0) << "a push is due at once";
    r.run(1, 1);
    ASSERT_EQ(r.out.size(), 1u);
    EXPECT_EQ(r.out[0].second[0] & 0x7FFFFFFFu, r.read(LegacyHistogrammer::regPushes));
}

TEST(LegacyHistogrammerOnBoard, EverySyncOfAPeriodicProfileFindsItsPartner)
{
    kestrane::Profile profile;
    std::string error;
    ASSERT_TRUE(kestrane::parseProfile(R"({"inputs": 2, "syncPeriod": 1e-5, "rates": [0, 0], "periodic": true,
        "pairs": [{"from": 0, "to": 1, "delay": 1e-8, "jitter": 0, "fraction": 1}], "deadTime": 0})",
                                       profile, error))
        << error;
    kestrane::ManualClock clock;
    kestrane::Board board(profile, clock.clock(), 1, {});
    // The counters have taken their first sample before the histogram starts at 300 ms.
    clock.advance(std::chrono::milliseconds(300));
    board.service();
    const std::uint32_t b = kestrane::Board::legacyHistogrammerBase;
    ASSERT_EQ(board.writeWord(b + LegacyHistogrammer::regMeasurement, 1 | (1u << 16)), 8u);
    ASSERT_EQ(board.writeWord(b + LegacyHistogrammer::regBitTrunc, 3), 8u);
    ASSERT_EQ(board.writeWord(b + LegacyHistogrammer::regTriggerLow, 50000), 8u);
    ASSERT_EQ(board.writeWord(b + LegacyHistogrammer::regControl,
                              ((LegacyHistogrammer::controlRun | LegacyHistogrammer::controlTrigger) << 8) |
                                  LegacyHistogrammer::controlRun | LegacyHistogrammer::controlTrigger),
              8u);
    for (int i = 0; i < 70; ++i) {
        clock.advance(std::chrono::microseconds(997));
        board.service();
    }
    std::uint32_t status = 0, windows = 0, bin = 0;
    board.readWord(b + LegacyHistogrammer::regStatus, status);
    board.readWord(b + LegacyHistogrammer::regWindows, windows);
    board.readWord(b + LegacyHistogrammer::regBins + 1250, bin);
    EXPECT_EQ(status, LegacyHistogrammer::statusWindowEnded);
    EXPECT_EQ(windows, 1u);
    // (10 ns) / (1 ps × 2^3) = bin 1250. The window [300 ms, 350 ms) holds 5000 syncs and
    // every partner, and nothing from before it.
    EXPECT_EQ(bin, 5000u) << "the events before the first service are counted too";
}
