// The board's FIFO and link: a fast link passes everything; a slow one drops tags, and the
// markers on the wire account for every one of them, per channel. Tags the time tagger never
// read, because the event engine had to let them go while it was behind, are accounted for
// the same way.

#include <gtest/gtest.h>

#include <kestrane/board.h>

#include "modules/tagger/tagfifo.h"
#include "modules/tagger/timetaggermodule.h"
#include "tagdecoder.h"

namespace {

struct Wire {
    std::vector<Dorrin::measurement> tags;
    std::vector<Dorrin::loss> losses;
    std::size_t packets = 0;
};

Wire decodeAll(const kestrane::Outbox &out)
{
    Wire w;
    for (const auto &[stream, words] : out) {
        EXPECT_EQ(stream, 3);
        std::size_t consumed = 0;
        EXPECT_FALSE(tagwire::decode(words.data(), words.size(), w.tags, w.losses, consumed));
        ++w.packets;
    }
    return w;
}

} // namespace

TEST(TagFifo, FastLinkPassesEveryTagInOrder)
{
    kestrane::TagFifo fifo(1024, 400e6, 256);
    fifo.reset(0);
    kestrane::Outbox out;
    for (std::int64_t i = 0; i < 5000; ++i) // one tag per 100 ns: 40 MB/s on a 400 MB/s link
        fifo.offer({static_cast<std::uint64_t>(i) * 100'000, static_cast<std::uint8_t>(i % 4), 1}, i * 100, out);
    fifo.advance(500'000, out, true);
    EXPECT_EQ(fifo.lost(), 0u);
    EXPECT_EQ(fifo.sent(), 5000u);
    EXPECT_EQ(fifo.occupancy(), 0u);
    const auto w = decodeAll(out);
    ASSERT_EQ(w.tags.size(), 5000u);
    EXPECT_GT(w.packets, 5000u / 256);
    for (std::size_t i = 0; i < w.tags.size(); ++i)
        ASSERT_EQ(w.tags[i].tag, i * 100'000);
    EXPECT_TRUE(w.losses.empty());
}

TEST(TagFifo, SlowLinkLosesCountedTagsAndSaysSoOnTheWire)
{
    // A tag every nanosecond, a link that takes one every 10 ns, room for 100.
    kestrane::TagFifo fifo(100, 0.4e9, 512);
    fifo.reset(0);
    kestrane::Outbox out;
    for (std::int64_t i = 0; i < 10'000; ++i)
        fifo.offer({static_cast<std::uint64_t>(i) * 1000, static_cast<std::uint8_t>(1 + i % 3), 1}, i, out);
    EXPECT_LE(fifo.occupancy(), 100u);
    // Roughly: what the link carried in 10 µs, plus what the FIFO holds.
    EXPECT_NEAR(static_cast<double>(10'000 - fifo.lost()), 1100.0, 5.0);
    fifo.drainAll(out);
    EXPECT_EQ(fifo.sent() + fifo.lost(), 10'000u);
    const auto w = decodeAll(out);
    EXPECT_EQ(w.tags.size(), fifo.sent());
    std::uint64_t markedTotal = 0;
    std::uint64_t marked[64] = {};
    for (const auto &l : w.losses) {
        markedTotal += l.count;
        marked[l.channel] += l.count;
    }
    EXPECT_EQ(markedTotal, fifo.lost());
    for (std::uint8_t c = 1; c <= 3; ++c) {
        EXPECT_EQ(marked[c], fifo.lost(c)) << int(c);
        EXPECT_GT(marked[c], 0u);
    }
    // Tags that made it are still in order and exact.
    for (std::size_t i = 1; i < w.tags.size(); ++i)
        ASSERT_LT(w.tags[i - 1].tag, w.tags[i].tag);
}

TEST(TagFifo, MarkersGoOutOnceThereIsRoomEvenWithoutAnotherTag)
{
    kestrane::TagFifo fifo(2, 4e9, 64); // one tag per ns
    fifo.reset(0);
    kestrane::Outbox out;
    for (int i = 0; i < 5; ++i)
        fifo.offer({10, 7, 2}, 0, out); // all at once: 2 fit, 3 lost
    EXPECT_EQ(fifo.lost(7), 3u);
    fifo.advance(100, out, true);
    const auto w = decodeAll(out);
    EXPECT_EQ(w.tags.size(), 2u);
    ASSERT_EQ(w.losses.size(), 1u);
    EXPECT_EQ(w.losses[0].channel, 7);
    EXPECT_EQ(w.losses[0].count, 3u);
    EXPECT_EQ(w.losses[0].tag, 10u);
}

TEST(TagFifo, EventsTheTaggerFellBehindOnAreLostTagsWithMarkers)
{
    // 30 M events/s on channel 1, exactly periodic; the board is served once after 100 ms, so
    // the counters read 3 M events while the tagger has read none: more than the engine keeps.
    kestrane::Profile p;
    std::string error;
    ASSERT_TRUE(kestrane::parseProfile(R"({"periodic": true, "syncPeriod": 0, "tagFifo": 8388608,
        "rates": [3e7, 1, 1, 1, 1, 1, 1, 1], "pulseWidth": 2e-9})",
                                       p, error))
        << error;
    kestrane::ManualClock clock;
    kestrane::Board board(p, clock.clock());
    kestrane::Outbox out;
    board.setOutput([&](std::uint8_t s, const std::vector<std::uint32_t> &w) {
        if (s == kestrane::Board::timeTagStream)
            out.emplace_back(s, w);
    });
    using T = kestrane::TimeTaggerModule;
    const std::uint32_t base = kestrane::Board::timeTaggerBase;
    ASSERT_EQ(board.writeWord(base + T::regRisingMask, 1u << 1), 8u);
    ASSERT_EQ(board.writeWord(base + T::regControl, T::controlEnable), 8u);
    clock.advance(std::chrono::milliseconds(100));
    board.service();
    for (int i = 0; i < 100; ++i) { // let the link drain what the FIFO holds
        clock.advance(std::chrono::milliseconds(1));
        board.service();
    }
    board.writeWord(base + T::regControl, 0);
    board.service();

    const auto w = decodeAll(out);
    std::uint64_t marked = 0;
    for (const auto &l : w.losses) {
        EXPECT_EQ(l.channel, 1);
        marked += l.count;
    }
    std::uint32_t lo = 0, hi = 0;
    board.readWord(base + T::regTagsLost, lo);
    board.readWord(base + T::regTagsLost + 1, hi);
    const std::uint64_t lost = std::uint64_t(hi) << 32 | lo;
    board.readWord(base + T::regTagsSent, lo);
    EXPECT_EQ(lo, w.tags.size());
    EXPECT_GT(marked, 1'000'000u);
    EXPECT_EQ(marked, lost);
    // Every event of the 200 ms is either a tag or counted lost: 6 M, give or take the phase.
    EXPECT_NEAR(static_cast<double>(w.tags.size() + marked), 6e6, 2.0);
    for (std::size_t i = 1; i < w.tags.size(); ++i)
        ASSERT_LT(w.tags[i - 1].tag, w.tags[i].tag);
}
