// The tag stream's wire layout: the board's encoder and the host's decoder agree on every
// tag, epoch rollover and overflow marker, and damaged packets are refused without guessing.

#include <gtest/gtest.h>

#include <random>

#include "modules/tagger/tagencoder.h"
#include "tagdecoder.h"

namespace kw = kestrane::tagwire;

namespace {

std::vector<std::uint32_t> encode(const std::vector<kw::Tag> &tags)
{
    std::vector<std::uint32_t> out;
    kw::Encoder e;
    e.begin(out, tags.empty() ? 0 : tags.front().time);
    for (const auto &t : tags)
        e.add(out, t);
    return out;
}

std::vector<Dorrin::measurement> decodeAll(const std::vector<std::uint32_t> &words,
                                           std::vector<Dorrin::loss> *losses = nullptr)
{
    std::vector<Dorrin::measurement> tags;
    std::vector<Dorrin::loss> l;
    std::size_t consumed = 0;
    const auto ec = tagwire::decode(words.data(), words.size(), tags, l, consumed);
    EXPECT_FALSE(ec) << ec.message();
    EXPECT_EQ(consumed, words.size());
    if (losses)
        *losses = l;
    return tags;
}

void expectSame(const std::vector<kw::Tag> &in, const std::vector<Dorrin::measurement> &out)
{
    ASSERT_EQ(in.size(), out.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(in[i].time, out[i].tag) << "tag " << i;
        EXPECT_EQ(in[i].channel, out[i].channel) << "tag " << i;
        EXPECT_EQ(in[i].edge, out[i].edge) << "tag " << i;
    }
}

} // namespace

TEST(TagWire, BusyStreamCostsOneWordPerTag)
{
    std::vector<kw::Tag> tags;
    // More tags than the decoder gathers at a time, and not a multiple of the runs it takes.
    for (std::uint64_t i = 0; i < 4099; ++i)
        tags.push_back({5'000'000 + i * 100, static_cast<std::uint8_t>(i % 64), static_cast<std::uint8_t>(1 + i % 2)});
    const auto words = encode(tags);
    EXPECT_EQ(words.size(), 2 + tags.size()); // the packet's epoch, then one word each
    expectSame(tags, decodeAll(words));
}

TEST(TagWire, RolloverCases)
{
    const std::uint64_t low = 1ull << 24;
    const std::uint64_t high = 1ull << 52;
    const std::vector<kw::Tag> tags = {
        {low - 1, 1, 1},                  // last tick of an epoch
        {low, 2, 2},                      // first tick of the next
        {low, 3, 1},                      // same time, other channel
        {3 * low + 7, 63, 2},             // epochs skipped
        {high - 1, 4, 1},                 // last tick before the high part changes
        {high, 5, 1},                     // the high part changes
        {high + low * 5, 6, 2},
        {~0ull - 1, 7, 1},                // end of time
        {~0ull, 0, 2},
    };
    expectSame(tags, decodeAll(encode(tags)));
    // The high marker goes out only when the high part changes: 2 at the start, then one
    // epoch change each for tags 1, 3, 4, 5, 6 and 7, and high changes at 5 and 7.
    EXPECT_EQ(encode(tags).size(), tags.size() + 2 + 6 + 2);
}

TEST(TagWire, PacketsStartingLateInTimeDecodeOnTheirOwn)
{
    const std::vector<kw::Tag> tags = {{0x123456789ABCDEFull, 9, 1}, {0x123456789ABCDEFull + 1, 9, 2}};
    expectSame(tags, decodeAll(encode(tags)));
}

TEST(TagWire, RandomStreamsRoundTrip)
{
    std::mt19937_64 rng(7);
    for (int round = 0; round < 50; ++round) {
        std::vector<kw::Tag> tags;
        std::uint64_t t = rng() >> (rng() % 64);
        const unsigned gapBits = static_cast<unsigned>(rng() % 40);
        for (int i = 0, n = static_cast<int>(rng() % 3000); i < n; ++i) {
            t += gapBits ? rng() % (1ull << gapBits) : 0;
            tags.push_back({t, static_cast<std::uint8_t>(rng() % 64), static_cast<std::uint8_t>(1 + rng() % 2)});
        }
        expectSame(tags, decodeAll(encode(tags)));
    }
}

TEST(TagWire, OverflowMarkersCarryChannelCountAndTime)
{
    std::vector<std::uint32_t> out;
    kw::Encoder e;
    e.begin(out, 100);
    e.add(out, {100, 1, 1});
    e.overflow(out, 3, 12345, 0x1122334455667788ull);
    e.overflow(out, 63, (1ull << 32) + 5, 200); // more than one marker can say
    e.add(out, {300, 1, 2});
    std::vector<Dorrin::loss> losses;
    const auto tags = decodeAll(out, &losses);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[1].tag, 300u);
    ASSERT_EQ(losses.size(), 3u);
    EXPECT_EQ(losses[0].channel, 3);
    EXPECT_EQ(losses[0].count, 12345u);
    EXPECT_EQ(losses[0].tag, 0x1122334455667788ull);
    EXPECT_EQ(losses[1].channel, 63);
    EXPECT_EQ(losses[1].count + losses[2].count, (1ull << 32) + 5);
    EXPECT_EQ(losses[2].tag, 200u);

    std::uint64_t perChannel[64] = {};
    std::uint64_t board[64] = {};
    std::uint64_t first = 0;
    tagwire::count(out.data(), out.size(), perChannel, board, first);
    EXPECT_EQ(perChannel[1], 2u);
    EXPECT_EQ(board[3], 12345u);
    EXPECT_EQ(board[63], (1ull << 32) + 5);
    EXPECT_EQ(first, 100u);
}

TEST(TagWire, MalformedPacketsKeepWhatCameBefore)
{
    std::vector<Dorrin::measurement> tags;
    std::vector<Dorrin::loss> losses;
    std::size_t consumed = 0;

    // A tag before any epoch cannot be placed in time.
    const std::vector<std::uint32_t> noEpoch = {0x00000005};
    EXPECT_TRUE(tagwire::decode(noEpoch.data(), noEpoch.size(), tags, losses, consumed));
    EXPECT_EQ(consumed, 0u);
    EXPECT_TRUE(tags.empty());

    // An unknown marker stops the packet after the tags before it.
    auto words = encode({{10, 1, 1}, {20, 2, 1}});
    words.push_back(0xF0000000u);
    words.push_back(0x00000030u);
    EXPECT_TRUE(tagwire::decode(words.data(), words.size(), tags, losses, consumed));
    EXPECT_EQ(consumed, 4u);
    EXPECT_EQ(tags.size(), 2u);

    // An overflow marker cut short.
    tags.clear();
    words = encode({{10, 1, 1}});
    words.push_back(kw::overflowType | 2);
    words.push_back(9);
    EXPECT_TRUE(tagwire::decode(words.data(), words.size(), tags, losses, consumed));
    EXPECT_EQ(tags.size(), 1u);
    EXPECT_TRUE(losses.empty());
}
