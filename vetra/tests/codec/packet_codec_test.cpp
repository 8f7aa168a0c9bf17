// The packet codec: framing of whole packets, into caller storage and back.

#include <vetra/crc32c.h>
#include <vetra/packet_codec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using bytes = std::vector<std::uint8_t>;
using words = std::vector<std::uint32_t>;

std::error_code decodeWhole(const bytes &frame, packet_codec::packet &out)
{
    return packet_codec::decode(frame.data(), frame.size(), out);
}

} // namespace

TEST(PacketCodec, KnownFramesOnTheWire)
{
    EXPECT_EQ(packet_codec::encode(5, words{}),
              (bytes{0x03, 0x01, 0x01, 0x01, 0x05, 0x02, 0x01, 0x02, 0x8C, 0xD0, 0x01, 0xEE, 0, 0, 0, 0}));
    EXPECT_EQ(packet_codec::encode(7, words{0}), (bytes{0x02, 0x01, 0x01, 0x01, 0x07, 0x01, 0x01, 0x01, 0x02, 0x02,
                                                       0x02, 0x02, 0x8E, 0xB7, 0x71, 0x76, 0, 0, 0, 0}));
    EXPECT_EQ(packet_codec::encode(1, words{0, 0x00001000, 0x02000001}),
              (bytes{0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02, 0x01, 0x01, 0x03, 0x10,
                     0x01, 0x03, 0x01, 0x02, 0x02, 0x02, 0xFD, 0xB7, 0x59, 0x10, 0, 0, 0, 0}));
}

TEST(PacketCodec, PartsEncodeLikeTheirConcatenationAndRoundTrip)
{
    std::mt19937 random(7);
    for (std::size_t n : {1u, 2u, 3u, 253u, 254u, 255u, 1000u, 70000u}) {
        words payload(n);
        for (auto &w : payload) // many zero bytes, so lanes get many codes
            w = random() & 0x00FF00FFu;
        const std::size_t cut = std::max<std::size_t>(1, n / 3);
        const packet_codec::const_words parts[] = {{payload.data(), cut}, {payload.data() + cut, n - cut}};
        bytes out(packet_codec::max_frame_size(n));
        const std::size_t size = packet_codec::encode(9, parts, cut == n ? 1 : 2, out.data());
        out.resize(size);
        const bytes whole = packet_codec::encode(9, payload);
        EXPECT_EQ(out, whole) << n << " words";
        ASSERT_GE(whole.size(), 4u);
        EXPECT_EQ(bytes(whole.end() - 4, whole.end()), bytes(4, 0)) << "ends with the delimiter word";
        EXPECT_EQ(std::count(whole.begin(), whole.end() - 4, 0), 0) << "no zero byte inside";

        packet_codec::packet back;
        ASSERT_FALSE(decodeWhole(whole, back)) << n;
        EXPECT_EQ(back.stream, 9);
        EXPECT_EQ(back.header, 9u);
        EXPECT_EQ(back.payload, payload);
    }
}

TEST(PacketCodec, RefusedPacketsWriteNothing)
{
    const words some{1, 2};
    const packet_codec::const_words parts[] = {{some.data(), some.size()}, {some.data(), 0}};
    bytes out(packet_codec::max_frame_size(2), 0xEE);
    EXPECT_EQ(packet_codec::encode(1, parts, 2, out.data()), 0u);
}

TEST(PacketCodec, DecodesIntoTheLayoutsBuffers)
{
    const words payload{10, 11, 12, 13, 14};
    const bytes frame = packet_codec::encode(3, payload);
    const packet_codec::frame encoded = packet_codec::trim(frame.data(), frame.size());
    EXPECT_EQ(encoded.size, frame.size() - 4);
    std::uint8_t stream = 0;
    ASSERT_FALSE(packet_codec::peek(encoded, stream));
    EXPECT_EQ(stream, 3);

    std::uint32_t header = 0;
    words first(3), rest;
    const packet_codec::mutable_words fixed[] = {{first.data(), first.size()}};
    const packet_codec::storage into{&header, fixed, 1, &rest};
    ASSERT_FALSE(packet_codec::decode(encoded, into));
    ASSERT_FALSE(packet_codec::verify(into));
    EXPECT_EQ(header, 3u);
    EXPECT_EQ(first, (words{10, 11, 12}));
    EXPECT_EQ(rest, (words{13, 14}));

    // A layout exactly as long as the payload leaves an empty rest.
    words all(5);
    const packet_codec::mutable_words exact[] = {{all.data(), 2}, {all.data() + 2, 3}};
    rest.clear();
    const packet_codec::storage full{&header, exact, 2, &rest};
    ASSERT_FALSE(packet_codec::decode(encoded, full));
    ASSERT_FALSE(packet_codec::verify(full));
    EXPECT_EQ(all, payload);
    EXPECT_TRUE(rest.empty());
}

TEST(PacketCodec, BadFramesNameTheirFault)
{
    packet_codec::packet out;
    // Nothing but zeros, and nine non-zero bytes: too short.
    EXPECT_EQ(decodeWhole(bytes(16, 0), out), pte_packet_error::packet_too_short);
    EXPECT_EQ(decodeWhole(bytes{0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0}, out), pte_packet_error::packet_too_short);

    const bytes good = packet_codec::encode(4, words{0x01020304, 0xA0B0C0D0, 0x11223344});
    // Not a whole number of words.
    bytes odd(good.begin(), good.end() - 4);
    odd.push_back(0x01);
    EXPECT_EQ(decodeWhole(odd, out), pte_packet_error::malformed_multicobs);
    // A code that promises more bytes than the lane holds.
    bytes overlong = good;
    overlong[0] = 0x40;
    EXPECT_EQ(decodeWhole(overlong, out), pte_packet_error::malformed_multicobs);

    // Any flipped payload bit breaks the CRC; the decoded words stay for the report.
    for (std::size_t i = 4; i + 8 < good.size(); ++i) {
        for (std::uint8_t bit = 1; bit != 0; bit <<= 1) {
            bytes bad = good;
            bad[i] ^= bit;
            if (bad[i] == 0)
                continue; // that would split the frame instead
            const std::error_code error = decodeWhole(bad, out);
            EXPECT_TRUE(error == pte_packet_error::bad_crc || error == pte_packet_error::malformed_multicobs)
                << "byte " << i << " bit " << int(bit) << ": " << error.message();
        }
    }
    // A packet whose CRC word belongs to other words: decoded, then refused, words kept.
    const words sent{4, 0x01020304, 0xA0B0C0D0, 0x11223344};
    words altered = sent;
    altered[2] ^= 0x100;
    altered.push_back(crc32c::extend_words(0, sent.data(), sent.size()));
    bytes wrongCrc = multicobs::encode({multicobs::const_words{altered.data(), altered.size()}});
    wrongCrc.insert(wrongCrc.end(), 4, 0);
    EXPECT_EQ(decodeWhole(wrongCrc, out), pte_packet_error::bad_crc);
    EXPECT_EQ(out.payload, (words{0x01020304, 0xA0B0C1D0, 0x11223344}));

    // A layout longer than the packet: the CRC word cannot be where it must be.
    const packet_codec::frame encoded = packet_codec::trim(good.data(), good.size());
    std::uint32_t header = 0;
    words first(4), rest;
    const packet_codec::mutable_words fixed[] = {{first.data(), first.size()}};
    EXPECT_EQ(packet_codec::decode(encoded, {&header, fixed, 1, &rest}), pte_packet_error::packet_too_short);
}
