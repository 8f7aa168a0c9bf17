// The board's FIFO and link: a fast link passes everything; a slow one drops tags, and the
// markers on the wire account for every one of them, per channel.

#include <gtest/gtest.h>

#include "modules/tagger/tagfifo.h"
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
