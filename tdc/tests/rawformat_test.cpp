// The binary raw-tag format: headers and blocks round-trip every 64-bit time exactly, and
// every kind of damage is reported rather than read as tags.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tdc/rawformat.h"

using tdcraw::rawError;

namespace {

std::vector<Dorrin::measurement> randomTags(std::mt19937_64 &rng, std::size_t n, unsigned gapBits, unsigned channels)
{
    std::vector<Dorrin::measurement> tags(n);
    std::uint64_t t = rng() >> (rng() % 64);
    for (auto &m : tags) {
        t += gapBits ? rng() % (1ull << gapBits) : 0;
        m.channel = static_cast<std::uint8_t>(rng() % channels);
        m.edge = static_cast<std::uint8_t>(1 + rng() % 2);
        m.tag = t;
    }
    return tags;
}

void expectSame(const std::vector<Dorrin::measurement> &a, const std::vector<Dorrin::measurement> &b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].tag, b[i].tag) << "tag " << i;
        ASSERT_EQ(a[i].channel, b[i].channel) << "tag " << i;
        ASSERT_EQ(a[i].edge, b[i].edge) << "tag " << i;
    }
}

} // namespace

TEST(RawFormat, HeaderRoundTripAndDamage)
{
    tdcraw::FileHeader h;
    h.tagUnit = 1e-12;
    h.channels = 9;
    h.fileNumber = 3;
    h.startTimeNs = 1'700'000'000'000'000'000;
    h.settingsJson = R"({"channels":{"1":"rising"}})";
    const auto bytes = tdcraw::encodeHeader(h);
    ASSERT_EQ(bytes.size(), tdcraw::headerFixedBytes + h.settingsJson.size() + 4);

    tdcraw::FileHeader back;
    std::size_t used = 0;
    ASSERT_FALSE(tdcraw::decodeHeader(bytes.data(), bytes.size(), back, used));
    EXPECT_EQ(used, bytes.size());
    EXPECT_EQ(back.tagUnit, h.tagUnit);
    EXPECT_EQ(back.channels, 9u);
    EXPECT_EQ(back.fileNumber, 3u);
    EXPECT_EQ(back.startTimeNs, h.startTimeNs);
    EXPECT_EQ(back.settingsJson, h.settingsJson);

    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_EQ(tdcraw::decodeHeader(bytes.data(), cut, back, used), rawError::truncatedHeader) << cut;

    auto bad = bytes;
    bad[0] = 'X';
    EXPECT_EQ(tdcraw::decodeHeader(bad.data(), bad.size(), back, used), rawError::badMagic);
    bad = bytes;
    bad[8] = 2;
    EXPECT_EQ(tdcraw::decodeHeader(bad.data(), bad.size(), back, used), rawError::badVersion);
    bad = bytes;
    bad[50] ^= 0x10; // inside the settings
    EXPECT_EQ(tdcraw::decodeHeader(bad.data(), bad.size(), back, used), rawError::badHeader);
}

TEST(RawFormat, BlocksRoundTripEveryTimeExactly)
{
    std::mt19937_64 rng(11);
    for (unsigned gapBits : {0u, 1u, 8u, 14u, 22u, 30u, 40u, 63u}) {
        for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{77}, std::size_t{5000}}) {
            const auto tags = randomTags(rng, n, gapBits, 64);
            std::vector<Dorrin::loss> markers = {{2, 17, 99}, {63, ~0ull, ~0ull}};
            std::vector<std::uint8_t> block;
            const auto size = tdcraw::encodeBlock(tags.data(), tags.size(), markers.data(), markers.size(), block);
            ASSERT_EQ(size, block.size());
            ASSERT_LE(size, tdcraw::maxBlockBytes(n, markers.size()));
            std::vector<Dorrin::measurement> back;
            std::vector<Dorrin::loss> backMarkers;
            ASSERT_FALSE(tdcraw::decodeBlock(block.data(), block.size(), back, backMarkers)) << gapBits << " " << n;
            expectSame(tags, back);
            ASSERT_EQ(backMarkers.size(), 2u);
            EXPECT_EQ(backMarkers[1].channel, 63);
            EXPECT_EQ(backMarkers[1].count, ~0ull);
            EXPECT_EQ(backMarkers[0].tag, 99u);
        }
    }
}

TEST(RawFormat, TagsOutOfOrderStillRoundTrip)
{
    const std::vector<Dorrin::measurement> tags = {{1, 1, 1000}, {2, 2, 5}, {3, 1, ~0ull}, {0, 1, 0}, {0, 2, 7}};
    std::vector<std::uint8_t> block;
    tdcraw::encodeBlock(tags.data(), tags.size(), nullptr, 0, block);
    std::vector<Dorrin::measurement> back;
    std::vector<Dorrin::loss> markers;
    ASSERT_FALSE(tdcraw::decodeBlock(block.data(), block.size(), back, markers));
    expectSame(tags, back);
}

TEST(RawFormat, CompactForPoissonStreams)
{
    // Exponential gaps of 2.5 µs in picoseconds, nine channels: about the built-in profile.
    std::mt19937_64 rng(3);
    std::exponential_distribution<double> gap(1.0 / 2.5e6);
    std::vector<Dorrin::measurement> tags(65536);
    double t = 0;
    for (auto &m : tags) {
        t += gap(rng);
        m = {static_cast<std::uint8_t>(rng() % 9), 1, static_cast<std::uint64_t>(t)};
    }
    std::vector<std::uint8_t> block;
    tdcraw::encodeBlock(tags.data(), tags.size(), nullptr, 0, block);
    EXPECT_LT(static_cast<double>(block.size()) / tags.size(), 4.0);
}

TEST(RawFormat, EveryDamageIsFoundAndNothingIsAppended)
{
    std::mt19937_64 rng(5);
    const auto tags = randomTags(rng, 300, 20, 9);
    std::vector<std::uint8_t> block;
    tdcraw::encodeBlock(tags.data(), tags.size(), nullptr, 0, block);
    std::vector<Dorrin::measurement> back;
    std::vector<Dorrin::loss> markers;
    for (std::size_t cut = 0; cut < block.size(); ++cut) {
        EXPECT_EQ(tdcraw::decodeBlock(block.data(), cut, back, markers), rawError::truncatedBlock) << cut;
        ASSERT_TRUE(back.empty());
    }
    // A flipped bit anywhere: the CRC, a header check or the magic catches it.
    for (std::size_t byte = 0; byte < block.size(); byte += 7) {
        auto bad = block;
        bad[byte] ^= static_cast<std::uint8_t>(1u << (byte % 8));
        const auto ec = tdcraw::decodeBlock(bad.data(), bad.size(), back, markers);
        EXPECT_TRUE(ec == rawError::badCrc || ec == rawError::badBlock || ec == rawError::truncatedBlock)
            << byte << " " << ec.message();
        ASSERT_TRUE(back.empty());
    }
    auto bad = block;
    bad[0] = 'Q';
    EXPECT_EQ(tdcraw::decodeBlock(bad.data(), bad.size(), back, markers), rawError::badBlock);
}

TEST(RawFormat, CsvRows)
{
    const std::vector<Dorrin::measurement> tags = {{0, 1, 0}, {12, 2, 9}, {63, 1, 18446744073709551615ull}, {7, 2, 100}};
    std::vector<char> out(tags.size() * tdcraw::maxCsvRowBytes);
    const auto used = tdcraw::appendCsvRows(tags.data(), tags.size(), out.data(), 0);
    EXPECT_EQ(std::string(out.data(), used), "0,1,0\n12,2,9\n63,1,18446744073709551615\n7,2,100\n");
    EXPECT_EQ(tdcraw::csvMarker({4, 12, 345}), "#lost,4,12,345\n");
}

// A block worked out by hand from docs/file-formats.md: files written by any version of the
// writer must keep reading, so the bytes themselves are pinned, not just the round trip.
// Gaps 0, 3, 7 over two gaps give k = ⌊log2(10 / 2 · ln 2)⌋ = 1; channels up to 2 need c = 3.
TEST(RawFormat, BlockBytesFollowTheDocumentedLayoutWhateverTheChannelGuess)
{
    const std::vector<Dorrin::measurement> tags{{1, 1, 1000}, {1, 2, 1003}, {2, 1, 1010}};
    for (std::uint8_t guess = 0; guess <= 8; ++guess) {
        std::vector<std::uint8_t> block(tdcraw::maxBlockBytes(tags.size(), 0));
        std::uint8_t bits = guess;
        const std::size_t size = tdcraw::encodeBlock(tags.data(), tags.size(), nullptr, 0, block.data(), bits);
        ASSERT_EQ(size, tdcraw::blockHeaderBytes + 3 + tdcraw::crcBytes) << "guess " << int(guess);
        EXPECT_EQ(bits, 3) << "the width used is returned, whatever was guessed";
        EXPECT_EQ(block[24], 1) << "k";
        EXPECT_EQ(block[25], 3) << "c";
        // Record 0: c = 010, no ones, a zero, low bit 0. Record 1: 110 (channel 1 falling),
        // one 1 and a 0, low bit 1. Record 2: 001, three 1s and a 0, low bit 1.
        // Bits from the first: 01000 110 101 001 11101 → bytes 0x62 0xE5 0x05.
        EXPECT_EQ(block[28], 0x62) << "guess " << int(guess);
        EXPECT_EQ(block[29], 0xE5) << "guess " << int(guess);
        EXPECT_EQ(block[30], 0x05) << "guess " << int(guess);
    }
}

TEST(RawFormat, AWrongChannelGuessChangesNoByte)
{
    std::mt19937_64 rng(17);
    for (unsigned channels : {1u, 2u, 9u, 64u}) {
        // Escapes and wide gaps too: every path of the encoder sees the wrong width first.
        auto tags = randomTags(rng, 5000, 30, channels);
        tags[100].tag += 1ull << 50;
        for (std::size_t i = 101; i < tags.size(); ++i)
            tags[i].tag += 1ull << 50;
        std::vector<std::uint8_t> reference(tdcraw::maxBlockBytes(tags.size(), 0));
        const std::size_t size = tdcraw::encodeBlock(tags.data(), tags.size(), nullptr, 0, reference.data());
        reference.resize(size);
        for (std::uint8_t guess = 1; guess <= 7; ++guess) {
            std::vector<std::uint8_t> block(tdcraw::maxBlockBytes(tags.size(), 0));
            std::uint8_t bits = guess;
            block.resize(tdcraw::encodeBlock(tags.data(), tags.size(), nullptr, 0, block.data(), bits));
            ASSERT_EQ(block, reference) << channels << " channels, guess " << int(guess);
            EXPECT_EQ(bits, reference[25]);
        }
        std::vector<Dorrin::measurement> back;
        std::vector<Dorrin::loss> markers;
        ASSERT_FALSE(tdcraw::decodeBlock(reference.data(), reference.size(), back, markers));
        expectSame(back, tags);
    }
}

namespace {

// The documented record layout, one bit at a time: what every encoder must produce.
std::vector<std::uint8_t> documentedRecords(const std::vector<Dorrin::measurement> &tags, std::uint64_t base,
                                            unsigned k, unsigned cb)
{
    std::vector<std::uint8_t> out;
    std::size_t bit = 0;
    const auto putBits = [&](std::uint64_t v, unsigned n) {
        for (unsigned i = 0; i < n; ++i, ++bit) {
            if (bit % 8 == 0)
                out.push_back(0);
            if ((v >> i) & 1)
                out.back() = static_cast<std::uint8_t>(out.back() | 1u << (bit % 8));
        }
    };
    std::uint64_t previous = base;
    for (const auto &m : tags) {
        const std::uint64_t gap = m.tag - previous;
        previous = m.tag;
        putBits(static_cast<std::uint64_t>(m.channel) * 2 + (m.edge == 2 ? 1 : 0), cb);
        const std::uint64_t q = gap >> k;
        if (q < 32) {
            putBits(~0ull, static_cast<unsigned>(q));
            putBits(0, 1);
            putBits(gap, k);
        } else {
            putBits(~0ull, 32);
            putBits(gap, 64);
        }
    }
    return out;
}

} // namespace

// Long blocks go through the encoder's fast paths (runs of records coded side by side, two
// records to a write, runs with an escape coded one by one): their bytes must still be the
// documented ones, bit for bit.
TEST(RawFormat, LongBlocksHoldExactlyTheDocumentedBits)
{
    std::mt19937_64 rng(23);
    struct Case {
        unsigned gapBits;
        unsigned channels;
        bool escapes;
    };
    for (const Case c : {Case{14, 9, false}, Case{14, 64, true}, Case{26, 3, false}, Case{3, 2, false},
                         Case{40, 64, true}, Case{0, 1, false}}) {
        auto tags = randomTags(rng, 9000, c.gapBits, c.channels);
        if (c.escapes) // a huge gap now and then, inside runs and at their edges
            for (std::size_t i : {std::size_t{3}, std::size_t{255}, std::size_t{256}, std::size_t{1000}, std::size_t{8999}})
                for (std::size_t j = i; j < tags.size(); ++j)
                    tags[j].tag += 1ull << 45;
        tags[17].edge = 3; // not falling: codes as rising, like any edge but 2
        std::vector<std::uint8_t> block;
        tdcraw::encodeBlock(tags.data(), tags.size(), nullptr, 0, block);
        std::uint64_t base = 0;
        std::memcpy(&base, &block[16], sizeof base);
        const auto expected = documentedRecords(tags, base, block[24], block[25]);
        ASSERT_EQ(block.size(), tdcraw::blockHeaderBytes + expected.size() + tdcraw::crcBytes) << c.gapBits;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block.begin() + tdcraw::blockHeaderBytes))
            << "gap bits " << c.gapBits << ", channels " << c.channels;
    }
}
