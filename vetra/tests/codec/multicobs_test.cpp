#include <vetra/crc32c.h>
#include <vetra/multicobs.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using bytes = std::vector<std::uint8_t>;
using words = std::vector<std::uint32_t>;

// The lane code written out rule by rule, a byte at a time, as the oracle for the fast one.
bytes reference_lane(const bytes &lane)
{
    bytes out{0};
    std::size_t code = 0;
    unsigned count = 1;
    for (std::uint8_t b : lane) {
        if (count == 255) {
            out[code] = 0xFF;
            code = out.size();
            out.push_back(0);
            count = 1;
        }
        if (b == 0) {
            out[code] = std::uint8_t(count);
            code = out.size();
            out.push_back(0);
            count = 1;
        } else {
            out.push_back(b);
            ++count;
        }
    }
    out[code] = std::uint8_t(count);
    return out;
}

bytes reference_encode(const words &packet)
{
    bytes lanes[4];
    std::size_t longest = 0;
    for (int j = 0; j < 4; ++j) {
        bytes lane;
        for (std::uint32_t w : packet)
            lane.push_back(std::uint8_t(w >> (8 * j)));
        lanes[j] = reference_lane(lane);
        longest = std::max(longest, lanes[j].size());
    }
    bytes out(4 * longest);
    for (int j = 0; j < 4; ++j) {
        lanes[j].resize(longest, 0x01);
        for (std::size_t k = 0; k < longest; ++k)
            out[4 * k + j] = lanes[j][k];
    }
    return out;
}

bytes encode(const words &packet)
{
    return multicobs::encode({{packet.data(), packet.size()}});
}

// Header, payload, CRC, encoded, with the delimiter word: what the engine puts on the wire.
bytes wire(std::uint8_t stream, const words &payload)
{
    words packet{stream};
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet.push_back(crc32c::extend_words(0, packet.data(), packet.size()));
    bytes out = encode(packet);
    out.insert(out.end(), 4, 0);
    return out;
}

void expect_round_trip(const words &packet, const char *what)
{
    const bytes encoded = encode(packet);
    ASSERT_EQ(encoded, reference_encode(packet)) << what << ", " << packet.size() << " words";
    ASSERT_LE(encoded.size(), multicobs::max_encoded_size(packet.size()));
    ASSERT_EQ(encoded.size() % 4, 0u);
    for (std::uint8_t b : encoded)
        ASSERT_NE(b, 0) << what;
    const auto decoded = multicobs::decode(encoded.data(), encoded.size());
    ASSERT_TRUE(decoded) << what << ", " << packet.size() << " words";
    ASSERT_EQ(*decoded, packet) << what;
}

TEST(Multicobs, WireVectors)
{
    EXPECT_EQ(wire(5, {}), (bytes{0x03, 0x01, 0x01, 0x01, 0x05, 0x02, 0x01, 0x02, 0x8C, 0xD0, 0x01, 0xEE,
                                  0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(wire(7, {0}), (bytes{0x02, 0x01, 0x01, 0x01, 0x07, 0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02,
                                   0x8E, 0xB7, 0x71, 0x76, 0x00, 0x00, 0x00, 0x00}));
}

TEST(Multicobs, EmptyBuffersAreRefused)
{
    const words a{1, 2};
    const words none;
    std::uint8_t out[64];
    const multicobs::const_words with_empty[] = {{a.data(), 2}, {none.data(), 0}, {a.data(), 2}};
    EXPECT_EQ(multicobs::encode(with_empty, 3, out), 0u);
    EXPECT_EQ(multicobs::encode(with_empty, 0, out), 0u);
    EXPECT_TRUE(multicobs::encode({{none.data(), 0}}).empty());
}

TEST(Multicobs, LongRunsCloseBlocksWith0xFF)
{
    // 254 non-zero bytes in a lane: one 0xFF block and nothing after it.
    const bytes one = encode(words(254, 0x01010101u));
    ASSERT_EQ(one.size(), 4u * 255);
    EXPECT_EQ(one[0], 0xFF);
    // 255: a second block.
    const bytes two = encode(words(255, 0x01010101u));
    ASSERT_EQ(two.size(), 4u * 257);
    EXPECT_EQ(two[0], 0xFF);
    EXPECT_EQ(two[4 * 255], 0x02);
    // A zero straight after 254 non-zero bytes must survive the 0xFF block.
    words run(254, 0xA5A5A5A5u);
    run.push_back(0);
    run.push_back(0x11111111u);
    expect_round_trip(run, "zero after a full block");
}

TEST(Multicobs, UnequalLanesArePaddedAndDecodeToTheSameLength)
{
    // Lane 0 full of zeros (shortest code), lane 3 with a long run (longest code).
    words packet(300);
    for (std::size_t i = 0; i < packet.size(); ++i)
        packet[i] = 0xFF000000u | (i % 3 == 0 ? 0x00001200u : 0);
    const bytes encoded = encode(packet);
    EXPECT_EQ(encoded, reference_encode(packet));
    EXPECT_EQ(encoded[4 * (encoded.size() / 4 - 1) + 1], 0x01); // lane 1 padded at the end
    const auto decoded = multicobs::decode(encoded.data(), encoded.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, packet);
}

TEST(Multicobs, RandomRoundTrips)
{
    std::mt19937 rng(42);
    // Lengths around the 16-word vector blocks and the 254-byte COBS blocks, and long ones.
    std::vector<std::size_t> lengths;
    for (std::size_t n = 1; n <= 70; ++n)
        lengths.push_back(n);
    for (std::size_t n : {127u, 128u, 252u, 253u, 254u, 255u, 256u, 257u, 507u, 508u, 509u, 510u, 1000u,
                          4097u, 16384u, 70001u})
        lengths.push_back(n);
    for (std::size_t n : lengths) {
        // Uniform words: zeros are rare, long non-zero runs common.
        words uniform(n);
        for (auto &w : uniform)
            w = rng();
        expect_round_trip(uniform, "uniform");
        // Zero bytes often, in every lane.
        words sparse(n);
        for (auto &w : sparse) {
            w = 0;
            for (int j = 0; j < 4; ++j)
                if (rng() % 3 != 0)
                    w |= std::uint32_t(1 + rng() % 255) << (8 * j);
        }
        expect_round_trip(sparse, "sparse");
        // One lane all zero, the others never zero.
        const int zero_lane = int(n % 4);
        words striped(n);
        for (auto &w : striped) {
            w = 0x01010101u | rng();
            w &= ~(0xFFu << (8 * zero_lane));
        }
        expect_round_trip(striped, "striped");
        // Histogram-like: long runs of empty bins between a few small counts.
        words bins(n, 0);
        for (auto &w : bins)
            if (rng() % 40 == 0)
                w = 1 + rng() % 300;
        expect_round_trip(bins, "bins");
        // Runs of zero words and of non-zero words, of every length up to a few blocks.
        words runs(n);
        for (std::size_t k = 0; k < n;) {
            const bool zero = rng() % 2 == 0;
            for (std::size_t run = rng() % 80; run > 0 && k < n; --run)
                runs[k++] = zero ? 0 : (0x01010101u | rng());
        }
        expect_round_trip(runs, "runs");
        expect_round_trip(words(n, 0), "zeros");
        expect_round_trip(words(n, 0xFFFFFFFFu), "ones");
    }
}

TEST(Multicobs, DecodesIntoFixedBuffersAndRest)
{
    std::mt19937 rng(7);
    words packet(40);
    for (auto &w : packet)
        w = rng();
    const bytes encoded = encode(packet);

    words a(1), b(3), c(5), rest{99};
    const multicobs::mutable_words fixed[] = {{a.data(), 1}, {b.data(), 3}, {c.data(), 5}};
    const auto n = multicobs::decode(encoded.data(), encoded.size(), fixed, 3, rest);
    ASSERT_TRUE(n);
    EXPECT_EQ(*n, 40u);
    EXPECT_EQ(a, words(packet.begin(), packet.begin() + 1));
    EXPECT_EQ(b, words(packet.begin() + 1, packet.begin() + 4));
    EXPECT_EQ(c, words(packet.begin() + 4, packet.begin() + 9));
    EXPECT_EQ(rest, words(packet.begin() + 9, packet.end()));

    // Fixed buffers longer than the packet: filled as far as it reaches, nothing left over.
    const words small{0x11, 0x22, 0x33};
    const bytes short_encoding = encode(small);
    words big(10, 0), none{5};
    const multicobs::mutable_words one_big[] = {{big.data(), 2}};
    const auto m = multicobs::decode(short_encoding.data(), short_encoding.size(), one_big, 1, none);
    ASSERT_TRUE(m);
    EXPECT_EQ(*m, 3u);
    EXPECT_EQ(big[0], 0x11u);
    EXPECT_EQ(big[1], 0x22u);
    EXPECT_EQ(none, words{0x33});
}

TEST(Multicobs, MalformedEncodingsAreRejected)
{
    const words packet{5, 0x12345678u, 0, 0xDEADBEEFu};
    const bytes good = encode(packet);
    ASSERT_TRUE(multicobs::decode(good.data(), good.size()));

    EXPECT_FALSE(multicobs::decode(good.data(), 0)) << "empty";
    EXPECT_FALSE(multicobs::decode(good.data(), good.size() - 1)) << "not a multiple of 4";
    bytes zero = good;
    zero[6] = 0;
    EXPECT_FALSE(multicobs::decode(zero.data(), zero.size())) << "zero byte";
    bytes past_end = good;
    past_end[0] = 0x40;
    EXPECT_FALSE(multicobs::decode(past_end.data(), past_end.size())) << "block runs past the end";
    bytes missing = good;
    missing.resize(good.size() - 4); // the last block of every lane loses a byte
    EXPECT_FALSE(multicobs::decode(missing.data(), missing.size())) << "lane ends inside a block";

    words w(2), rest;
    const multicobs::mutable_words too_many[] = {{w.data(), good.size() / 4}};
    EXPECT_FALSE(multicobs::decode(good.data(), good.size(), too_many, 1, rest)) << "fixed buffers too large";
    const multicobs::mutable_words empty_fixed[] = {{w.data(), 0}};
    EXPECT_FALSE(multicobs::decode(good.data(), good.size(), empty_fixed, 1, rest)) << "empty fixed buffer";
}

TEST(Multicobs, StreamIdPeek)
{
    for (unsigned id : {0u, 1u, 7u, 200u, 255u}) {
        const bytes w = wire(std::uint8_t(id), {1, 2, 3});
        const auto peeked = multicobs::peek_stream_id(w.data(), w.size() - 4);
        ASSERT_TRUE(peeked);
        EXPECT_EQ(*peeked, id);
    }
    bytes w = wire(9, {1, 2, 3});
    w.resize(w.size() - 4);
    bytes chain = w;
    chain[0] = 0x30; // lane 0's first block promises more than the packet holds
    EXPECT_FALSE(multicobs::peek_stream_id(chain.data(), chain.size()));
    bytes zero = w;
    zero[4] = 0; // the lane-0 byte of word 1
    EXPECT_FALSE(multicobs::peek_stream_id(zero.data(), zero.size()));
    EXPECT_FALSE(multicobs::peek_stream_id(w.data(), 4));
}

} // namespace
