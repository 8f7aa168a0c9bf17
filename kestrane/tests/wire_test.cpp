#include <gtest/gtest.h>

#include <random>

#include "kestrane/board.h"
#include "kestrane/wire.h"

using kestrane::wire::FrameReader;

namespace {
struct Packet {
    std::uint8_t stream;
    std::vector<std::uint32_t> payload;
    bool operator==(const Packet &o) const { return stream == o.stream && payload == o.payload; }
};
} // namespace

TEST(Wire, KnownEncodingOfAReadRequest)
{
    // Read 1 word at 0x1000, id 0, stream 1.
    const auto bytes = kestrane::wire::encode(1, {0, 0x1000, 0x02000001});
    const std::vector<std::uint8_t> expected = {0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
                                                0x01, 0x02, 0x01, 0x01, 0x03, 0x10, 0x01, 0x03,
                                                0x01, 0x02, 0x02, 0x02, 0xFD, 0xB7, 0x59, 0x10,
                                                0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(bytes, expected);
}

TEST(Wire, RandomPacketsSurviveAnySplitOfTheByteStream)
{
    std::mt19937 rng(3);
    std::vector<Packet> sent;
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < 200; ++i) {
        Packet p{static_cast<std::uint8_t>(rng()), {}};
        const std::size_t n = rng() % 700;
        for (std::size_t k = 0; k < n; ++k)
            p.payload.push_back(rng() % 4 == 0 ? 0 : rng());
        const auto bytes = kestrane::wire::encode(p.stream, p.payload);
        ASSERT_FALSE(bytes.empty());
        stream.insert(stream.end(), bytes.begin(), bytes.end());
        sent.push_back(std::move(p));
    }
    FrameReader reader;
    std::vector<Packet> got;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 97, stream.size() - pos);
        reader.feed(stream.data() + pos, n, [&](std::uint8_t s, std::vector<std::uint32_t> p) {
            got.push_back({s, std::move(p)});
        });
        pos += n;
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(reader.badFrames(), 0u);
}

TEST(Wire, DamagedFramesAreSkippedAndTheNextPacketStillArrives)
{
    auto good = kestrane::wire::encode(1, {1, 2, 3});
    auto badCrc = good;
    badCrc[6] ^= 0x10; // a payload byte
    std::vector<std::uint8_t> garbage = {0x07, 0x08, 0x09, 0, 0, 0, 0};
    std::vector<std::uint8_t> notWords = {0x02, 0x01, 0x01, 0x01, 0x05, 0x05, 0x05, 0x05,
                                          0x05, 0x05, 0x05, 0x05, 0x05, 0, 0, 0, 0};
    FrameReader reader;
    std::vector<Packet> got;
    auto handler = [&](std::uint8_t s, std::vector<std::uint32_t> p) { got.push_back({s, std::move(p)}); };
    reader.feed(badCrc.data(), badCrc.size(), handler);
    reader.feed(garbage.data(), garbage.size(), handler);
    reader.feed(notWords.data(), notWords.size(), handler);
    reader.feed(good.data(), good.size(), handler);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].payload, (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(reader.badFrames(), 3u);
}

TEST(Wire, BoardAnswersEncodedRequests)
{
    kestrane::ManualClock clock;
    kestrane::Board board(kestrane::defaultProfile(), clock.clock(), 1);
    std::vector<std::uint8_t> out;
    board.setOutput([&](std::uint8_t s, const std::vector<std::uint32_t> &p) {
        const auto b = kestrane::wire::encode(s, p);
        out.insert(out.end(), b.begin(), b.end());
    });
    FrameReader fromHost;
    const auto request = kestrane::wire::encode(1, {5, 2, 0x02000001});
    fromHost.feed(request.data(), request.size(),
                  [&](std::uint8_t s, std::vector<std::uint32_t> p) { board.handlePacket(s, p); });
    FrameReader toHost;
    std::vector<Packet> got;
    toHost.feed(out.data(), out.size(), [&](std::uint8_t s, std::vector<std::uint32_t> p) {
        got.push_back({s, std::move(p)});
    });
    ASSERT_EQ(got.size(), 1u);
    std::uint32_t modules = 0;
    board.readWord(2, modules);
    EXPECT_EQ(got[0].payload, (std::vector<std::uint32_t>{5, 2, 0x02000001, modules, 8}));
}
