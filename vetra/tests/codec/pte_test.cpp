#include "memory_transport.h"
#include "pte/pte.h"
#include "wait_scale.h"

#include <vetra/crc32c.h>
#include <vetra/multicobs.h>
#include <vetra/pte_error.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <random>
#include <thread>

namespace {

using bytes = std::vector<std::uint8_t>;
using words = std::vector<std::uint32_t>;
using namespace std::chrono_literals;

// Generous: the machine may be loaded, and a sanitizer build scans 65 MiB many times slower.
const auto patience = testsupport::scaled(20s);

bytes wire(std::uint8_t stream, const words &payload, bool corrupt = false)
{
    words packet{stream};
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet.push_back(crc32c::extend_words(0, packet.data(), packet.size()));
    if (corrupt)
        packet[1] ^= 0x00010000u;
    bytes out = multicobs::encode({{packet.data(), packet.size()}});
    out.insert(out.end(), 4, 0);
    return out;
}

std::shared_ptr<const words> share(words w)
{
    return std::make_shared<const words>(std::move(w));
}

// What the engine delivered, in order, with a way to wait for it.
struct recorder {
    struct packet {
        std::uint8_t stream;
        std::vector<words> buffers;
        std::string via;
    };
    struct failure {
        std::error_code error;
        std::vector<words> buffers;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<packet> packets;
    std::vector<failure> failures;

    static std::vector<words> copy(const pte::buffer_list &list)
    {
        std::vector<words> out;
        for (const auto &b : list)
            out.push_back(*b);
        return out;
    }

    pte::stream_handler handler(std::string via)
    {
        return [this, via](std::uint8_t stream, pte::buffer_list list) {
            std::lock_guard<std::mutex> lock(mutex);
            packets.push_back({stream, copy(list), via});
            changed.notify_all();
        };
    }

    pte::error_handler errors()
    {
        return [this](std::error_code error, pte::buffer_list list) {
            std::lock_guard<std::mutex> lock(mutex);
            failures.push_back({error, copy(list)});
            changed.notify_all();
        };
    }

    bool wait(std::size_t packet_count, std::size_t failure_count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        const bool ok = changed.wait_for(lock, patience, [&] {
            return packets.size() >= packet_count && failures.size() >= failure_count;
        });
        if (!ok) {
            ADD_FAILURE() << "received " << packets.size() << " packets and " << failures.size() << " failures";
            for (const auto &f : failures)
                ADD_FAILURE() << f.error.message();
        }
        return ok;
    }
};

struct engine {
    recorder seen;
    memory_transport *transport;
    std::unique_ptr<pte> packets;

    explicit engine(bool loopback = false, std::size_t chunk = std::size_t(1) << 20, bool with_default = true)
    {
        auto owned = std::make_unique<memory_transport>(loopback, chunk);
        transport = owned.get();
        packets = std::make_unique<pte>(std::move(owned), with_default ? seen.handler("default") : nullptr,
                                        seen.errors());
        EXPECT_FALSE(packets->open("memory", {}));
    }
};

bool wait_until(const std::function<bool()> &done)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(PacketEngine, ErrorCategory)
{
    const std::error_code crc = make_error_code(pte_packet_error::bad_crc);
    EXPECT_STREQ(crc.category().name(), "Packet Transmission Engine");
    EXPECT_EQ(std::error_code(pte_packet_error::success).message(), "Success");
    EXPECT_EQ(crc.message(), "Bad CRC value");
    EXPECT_EQ(make_error_code(pte_packet_error::malformed_multicobs).message(), "Malformed multiCOBS encoding");
    EXPECT_EQ(make_error_code(pte_packet_error::packet_too_short).message(), "Malformed packet, too short");
    EXPECT_EQ(std::error_code(9, pte_category()).message(), "Unknown error");
    EXPECT_TRUE(crc == std::errc::bad_message);
    EXPECT_TRUE(make_error_code(pte_packet_error::packet_too_short) == std::errc::bad_message);
    EXPECT_EQ(std::error_code(9, pte_category()).default_error_condition(), std::error_condition(9, pte_category()));
    EXPECT_EQ(std::error_code(0, pte_category()).default_error_condition(), std::error_condition(0, pte_category()));
}

TEST(PacketEngine, SendsTheWireVectorsInOrder)
{
    engine e;
    std::mutex mutex;
    std::vector<std::pair<int, std::size_t>> completions;
    auto done = [&](int which) {
        return [&, which](std::error_code error, std::size_t n) {
            EXPECT_FALSE(error);
            std::lock_guard<std::mutex> lock(mutex);
            completions.emplace_back(which, n);
        };
    };
    ASSERT_TRUE(e.packets->send_packet(5, {}, done(0)));
    ASSERT_TRUE(e.packets->send_packet(7, {share({0})}, done(1)));
    ASSERT_TRUE(wait_until([&] { std::lock_guard<std::mutex> l(mutex); return completions.size() == 2; }));
    EXPECT_EQ(completions, (std::vector<std::pair<int, std::size_t>>{{0, 16}, {1, 20}}));
    bytes expected = wire(5, {});
    const bytes second = wire(7, {0});
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(e.transport->written(), expected);
    EXPECT_EQ(bytes(expected.begin(), expected.begin() + 16),
              (bytes{0x03, 0x01, 0x01, 0x01, 0x05, 0x02, 0x01, 0x02, 0x8C, 0xD0, 0x01, 0xEE, 0, 0, 0, 0}));
}

TEST(PacketEngine, ManyPacketsFromManyThreadsKeepOneWriteAtATime)
{
    engine e;
    std::atomic<int> completed{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([&, t] {
            for (std::uint32_t k = 0; k < 200; ++k)
                ASSERT_TRUE(e.packets->send_packet(std::uint8_t(t), {share({k, k * 7u}), share({k})},
                                                   [&](std::error_code, std::size_t) { ++completed; }));
        });
    }
    for (auto &s : senders)
        s.join();
    ASSERT_TRUE(wait_until([&] { return completed == 800; }));
    EXPECT_EQ(e.transport->write_count(), 800u);

    // The written stream is 800 whole packets, each sender's in its own order.
    e.transport->feed(e.transport->written());
    ASSERT_TRUE(e.seen.wait(800, 0));
    std::uint32_t next[4] = {0, 0, 0, 0};
    for (const auto &p : e.seen.packets) {
        ASSERT_LT(p.stream, 4);
        ASSERT_EQ(p.buffers.size(), 1u);
        const std::uint32_t k = next[p.stream]++;
        EXPECT_EQ(p.buffers[0], (words{k, k * 7u, k}));
    }
    EXPECT_TRUE(e.seen.failures.empty());
}

TEST(PacketEngine, RefusesEmptyPayloadBuffers)
{
    engine e;
    bool called = false;
    EXPECT_FALSE(e.packets->send_packet(3, {share({1}), share({})}, [&](std::error_code, std::size_t) { called = true; }));
    EXPECT_FALSE(e.packets->send_packet(3, {nullptr}, nullptr));
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(called);
    EXPECT_EQ(e.transport->write_count(), 0u);
}

TEST(PacketEngine, ReceivesIntoLayoutsAndHandlers)
{
    engine e(false, 3); // three bytes per read: every packet straddles reads
    e.packets->set_stream_handler(1, e.seen.handler("one"));
    e.packets->set_stream_layout(1, {3});
    e.packets->set_stream_layout(2, {1, 2});
    e.packets->set_stream_handler(2, e.seen.handler("two"));

    bytes feed = wire(1, {10, 11, 12, 13, 14});
    for (const bytes &b : {wire(1, {20, 21, 22}), wire(2, {1, 2, 3, 4}), wire(9, {}), wire(5, {0})})
        feed.insert(feed.end(), b.begin(), b.end());
    e.transport->feed(feed);
    ASSERT_TRUE(e.seen.wait(5, 0));
    const auto &p = e.seen.packets;
    EXPECT_EQ(p[0].via, "one");
    EXPECT_EQ(p[0].buffers, (std::vector<words>{{10, 11, 12}, {13, 14}}));
    EXPECT_EQ(p[1].buffers, (std::vector<words>{{20, 21, 22}, {}}));
    EXPECT_EQ(p[2].via, "two");
    EXPECT_EQ(p[2].buffers, (std::vector<words>{{1}, {2, 3}, {4}}));
    EXPECT_EQ(p[3].via, "default");
    EXPECT_EQ(p[3].stream, 9);
    EXPECT_EQ(p[3].buffers, (std::vector<words>{{}}));
    EXPECT_EQ(p[4].stream, 5);
    EXPECT_EQ(p[4].buffers, (std::vector<words>{{0}}));

    // Removing the handler and the layout: the default handler gets the whole payload.
    e.packets->set_stream_handler(1, nullptr);
    e.packets->set_stream_layout(1, {});
    e.transport->feed(wire(1, {10, 11, 12, 13, 14}));
    ASSERT_TRUE(e.seen.wait(6, 0));
    EXPECT_EQ(e.seen.packets[5].via, "default");
    EXPECT_EQ(e.seen.packets[5].buffers, (std::vector<words>{{10, 11, 12, 13, 14}}));
    EXPECT_TRUE(e.seen.failures.empty());
}

TEST(PacketEngine, WithoutAnyHandlerPacketsAreDroppedSilently)
{
    engine e(false, 1 << 20, false);
    e.packets->set_stream_handler(4, e.seen.handler("four"));
    bytes feed = wire(3, {1, 2});
    const bytes four = wire(4, {5});
    feed.insert(feed.end(), four.begin(), four.end());
    e.transport->feed(feed);
    ASSERT_TRUE(e.seen.wait(1, 0));
    EXPECT_EQ(e.seen.packets[0].stream, 4);
    EXPECT_TRUE(e.seen.failures.empty());
}

TEST(PacketEngine, BadInputIsReportedAndReceptionGoesOn)
{
    engine e(false, 5);
    const auto code = [](pte_packet_error c) { return make_error_code(c); };
    bytes feed;
    auto add = [&](const bytes &b) { feed.insert(feed.end(), b.begin(), b.end()); };
    add({0, 0, 0, 0, 0, 0});                          // idle fill: ignored
    add({1, 2, 3, 4, 5, 6, 7, 8, 9, 0});              // 9 bytes: too short
    add({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0});          // 10 bytes: not whole words
    add({0x40, 1, 1, 1, 5, 2, 1, 2, 0x8C, 0xD0, 1, 0xEE, 0, 0, 0, 0}); // lane-0 chain past the end
    add({3, 1, 1, 1, 5, 2, 1, 2, 0x8C, 0xD0, 3, 0xEE, 0, 0, 0, 0});   // lane 2 ends inside a block
    add(wire(6, {0xCAFE, 0xF00D}, true));             // a flipped payload bit
    add({0x55, 0x66, 0, 0x77, 0x12, 0x34, 0x56, 0});  // two short bits of garbage
    add(wire(6, {1, 2, 3}));
    e.transport->feed(feed);
    ASSERT_TRUE(e.seen.wait(1, 7));
    ASSERT_EQ(e.seen.failures.size(), 7u);
    const auto &f = e.seen.failures;
    EXPECT_EQ(f[0].error, code(pte_packet_error::packet_too_short));
    EXPECT_TRUE(f[0].buffers.empty());
    EXPECT_EQ(f[1].error, code(pte_packet_error::malformed_multicobs));
    EXPECT_EQ(f[2].error, code(pte_packet_error::malformed_multicobs));
    EXPECT_TRUE(f[2].buffers.empty());
    EXPECT_EQ(f[3].error, code(pte_packet_error::malformed_multicobs));
    EXPECT_EQ(f[4].error, code(pte_packet_error::bad_crc));
    ASSERT_EQ(f[4].buffers.size(), 1u);
    EXPECT_EQ(f[4].buffers[0], (words{0xCAFE ^ 0x00010000u, 0xF00D}));
    EXPECT_EQ(f[5].error, code(pte_packet_error::packet_too_short));
    EXPECT_EQ(f[6].error, code(pte_packet_error::packet_too_short));
    ASSERT_EQ(e.seen.packets.size(), 1u);
    EXPECT_EQ(e.seen.packets[0].buffers, (std::vector<words>{{1, 2, 3}}));
}

TEST(PacketEngine, PacketShorterThanItsLayoutIsTooShort)
{
    engine e;
    e.packets->set_stream_layout(8, {4});
    e.transport->feed(wire(8, {1, 2, 3}));
    e.transport->feed(wire(8, {1, 2, 3, 4}));
    ASSERT_TRUE(e.seen.wait(1, 1));
    EXPECT_EQ(e.seen.failures[0].error, make_error_code(pte_packet_error::packet_too_short));
    EXPECT_EQ(e.seen.packets[0].buffers, (std::vector<words>{{1, 2, 3, 4}, {}}));
}

TEST(PacketEngine, EndlessBytesWithoutDelimiterAreDroppedAndReported)
{
    engine e(false, 1000);
    e.packets->set_receive_limit(64 * 1024);
    std::mt19937 rng(5);
    bytes noise(200 * 1024);
    for (auto &b : noise)
        b = std::uint8_t(1 + rng() % 255);
    e.transport->feed(noise);
    ASSERT_TRUE(e.seen.wait(0, 1));
    EXPECT_EQ(e.seen.failures[0].error, make_error_code(pte_packet_error::malformed_multicobs));
    // Whatever is left of the noise ends at the first delimiter; the packet after it arrives.
    bytes after{0, 0, 0, 0};
    const bytes good = wire(2, {42});
    after.insert(after.end(), good.begin(), good.end());
    e.transport->feed(after);
    ASSERT_TRUE(e.seen.wait(1, 1));
    EXPECT_EQ(e.seen.packets.back().buffers, (std::vector<words>{{42}}));

    // Idle zero fill past the limit is dropped without complaint.
    const std::size_t failures = [&] { std::lock_guard<std::mutex> l(e.seen.mutex); return e.seen.failures.size(); }();
    e.transport->feed(bytes(200 * 1024, 0));
    e.transport->feed(wire(2, {43}));
    ASSERT_TRUE(e.seen.wait(2, failures));
    std::lock_guard<std::mutex> lock(e.seen.mutex);
    EXPECT_EQ(e.seen.failures.size(), failures);
    EXPECT_EQ(e.seen.packets.back().buffers, (std::vector<words>{{43}}));
}

TEST(PacketEngine, DefaultLimitIs64MiB)
{
    EXPECT_EQ(pte::default_receive_limit, std::size_t(64) << 20);
    engine e(false, 1 << 20);
    bytes noise(std::size_t(65) << 20, 0x5A);
    e.transport->feed(noise);
    e.transport->feed(wire(1, {7}));
    ASSERT_TRUE(e.seen.wait(1, 1));
    EXPECT_EQ(e.seen.failures[0].error, make_error_code(pte_packet_error::malformed_multicobs));
}

TEST(PacketEngine, WriteErrorsGoToTheirPacketOnly)
{
    engine e;
    e.transport->fail_writes(std::make_error_code(std::errc::io_error), 1);
    std::mutex mutex;
    std::vector<std::error_code> results;
    for (std::uint32_t k = 0; k < 3; ++k)
        ASSERT_TRUE(e.packets->send_packet(1, {share({k})}, [&](std::error_code error, std::size_t) {
            std::lock_guard<std::mutex> lock(mutex);
            results.push_back(error);
        }));
    ASSERT_TRUE(wait_until([&] { std::lock_guard<std::mutex> l(mutex); return results.size() == 3; }));
    EXPECT_EQ(results[0], std::errc::io_error);
    EXPECT_FALSE(results[1]);
    EXPECT_FALSE(results[2]);
    EXPECT_TRUE(e.seen.failures.empty());
}

TEST(PacketEngine, LinkLossIsReportedOnceAndEndsReception)
{
    engine e;
    ASSERT_TRUE(wait_until([&] { return e.transport->reads_started() == 1; }));
    e.transport->lose_link();
    ASSERT_TRUE(e.seen.wait(0, 1));
    EXPECT_EQ(e.seen.failures[0].error, e.packets->link_lost_code());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(e.transport->reads_started(), 1u);
    std::lock_guard<std::mutex> lock(e.seen.mutex);
    EXPECT_EQ(e.seen.failures.size(), 1u);
}

TEST(PacketEngine, HandlersMayCallBackIntoTheEngine)
{
    engine e(true); // loopback: what is sent comes back
    std::atomic<int> hops{0};
    e.packets->set_stream_handler(1, [&](std::uint8_t, pte::buffer_list list) {
        const std::uint32_t n = (*list[0])[0];
        ++hops;
        if (n < 50)
            e.packets->send_packet(1, {share({n + 1})}, nullptr);
        else
            e.packets->set_stream_handler(1, nullptr);
    });
    ASSERT_TRUE(e.packets->send_packet(1, {share({0})}, nullptr));
    ASSERT_TRUE(wait_until([&] { return hops == 51; }));
}

TEST(PacketEngine, LoopbackRoundTripsRandomPackets)
{
    engine e(true, 777);
    e.packets->set_stream_layout(3, {2, 5});
    std::mt19937 rng(11);
    std::vector<std::pair<std::uint8_t, words>> sent;
    for (int k = 0; k < 300; ++k) {
        const std::uint8_t stream = std::uint8_t(rng() % 4);
        words payload(8 + rng() % 700);
        for (auto &w : payload)
            w = rng() % 5 == 0 ? 0 : std::uint32_t(rng());
        const std::size_t cut = 1 + rng() % (payload.size() - 1);
        ASSERT_TRUE(e.packets->send_packet(stream, {share(words(payload.begin(), payload.begin() + cut)),
                                                    share(words(payload.begin() + cut, payload.end()))},
                                           nullptr));
        sent.emplace_back(stream, payload);
    }
    ASSERT_TRUE(e.seen.wait(sent.size(), 0));
    for (std::size_t k = 0; k < sent.size(); ++k) {
        const auto &got = e.seen.packets[k];
        ASSERT_EQ(got.stream, sent[k].first);
        words joined;
        for (const auto &b : got.buffers)
            joined.insert(joined.end(), b.begin(), b.end());
        EXPECT_EQ(joined, sent[k].second);
        if (got.stream == 3) {
            EXPECT_EQ(got.buffers.size(), 3u);
            EXPECT_EQ(got.buffers[0].size(), 2u);
        }
    }
    EXPECT_TRUE(e.seen.failures.empty());
}

// Sent buffers are reused for later packets: mixed sizes (small, just under and over the
// largest kept buffer, more than all spare buffers together) must still go out intact and in
// order, also while the queue grows behind a write in progress.
TEST(PacketEngine, LoopbackKeepsMixedSizesIntactWhileBuffersAreReused)
{
    engine e(true);
    std::mt19937 rng(5);
    const std::size_t sizes[] = {1, 300, 16000, 16400, 40000, 2, 16383, 700};
    std::vector<words> sent;
    for (int round = 0; round < 6; ++round) {
        for (std::size_t size : sizes) {
            words payload(size);
            for (auto &w : payload)
                w = std::uint32_t(rng());
            ASSERT_TRUE(e.packets->send_packet(2, {share(payload)}, nullptr));
            sent.push_back(std::move(payload));
        }
    }
    ASSERT_TRUE(e.seen.wait(sent.size(), 0));
    for (std::size_t k = 0; k < sent.size(); ++k) {
        ASSERT_EQ(e.seen.packets[k].buffers.size(), 1u);
        EXPECT_EQ(e.seen.packets[k].buffers[0], sent[k]) << "packet " << k;
    }
    EXPECT_TRUE(e.seen.failures.empty());
}

} // namespace

namespace {

// The wire bytes of {stream, payload, CRC} with word `flip` of that packet (0 is the stream
// word, payload.size() + 1 the CRC) changed after the CRC was computed.
bytes wire_with_flipped_word(std::uint8_t stream, const words &payload, std::size_t flip)
{
    words packet{stream};
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet.push_back(crc32c::extend_words(0, packet.data(), packet.size()));
    packet.at(flip) ^= 0x00000100u;
    bytes out = multicobs::encode({{packet.data(), packet.size()}});
    out.insert(out.end(), 4, 0);
    return out;
}

} // namespace

TEST(PacketEngine, CorruptPacketsOnLaidOutStreamsAreReportedNotDelivered)
{
    engine e;
    e.packets->set_stream_layout(2, {3});
    e.packets->set_stream_handler(2, e.seen.handler("two"));
    const words payload{10, 11, 12, 13, 14};
    // A flip in the fixed buffer, in the rest, and in the CRC word itself.
    bytes feed;
    for (std::size_t flip : {std::size_t(2), std::size_t(5), payload.size() + 1}) {
        const bytes b = wire_with_flipped_word(2, payload, flip);
        feed.insert(feed.end(), b.begin(), b.end());
    }
    const bytes good = wire(2, payload);
    feed.insert(feed.end(), good.begin(), good.end());
    e.transport->feed(feed);
    ASSERT_TRUE(e.seen.wait(1, 3));
    ASSERT_EQ(e.seen.failures.size(), 3u);
    for (const auto &f : e.seen.failures)
        EXPECT_EQ(f.error, make_error_code(pte_packet_error::bad_crc));
    ASSERT_EQ(e.seen.packets.size(), 1u) << "only the intact packet reaches the handler";
    EXPECT_EQ(e.seen.packets[0].via, "two");
    EXPECT_EQ(e.seen.packets[0].buffers, (std::vector<words>{{10, 11, 12}, {13, 14}}));
}

TEST(PacketEngine, AnEmptyHandlerGivenAtConstructionDropsItsStream)
{
    recorder seen;
    auto owned = std::make_unique<memory_transport>(false, std::size_t(1) << 20);
    memory_transport *transport = owned.get();
    pte::handler_map handlers;
    handlers.emplace(4, pte::stream_handler{});
    handlers.emplace(6, seen.handler("six"));
    pte packets(std::move(owned), seen.handler("default"), seen.errors(), std::move(handlers));
    ASSERT_FALSE(packets.open("memory", {}));

    bytes feed = wire(4, {1, 2});
    for (const bytes &b : {wire(6, {3}), wire(4, {4}), wire(5, {5})})
        feed.insert(feed.end(), b.begin(), b.end());
    transport->feed(feed);
    ASSERT_TRUE(seen.wait(2, 0));
    // Stream 5 comes last: once it is seen, both packets of stream 4 were handled.
    std::lock_guard<std::mutex> lock(seen.mutex);
    ASSERT_EQ(seen.packets.size(), 2u);
    EXPECT_EQ(seen.packets[0].via, "six");
    EXPECT_EQ(seen.packets[1].via, "default");
    EXPECT_EQ(seen.packets[1].stream, 5);
    EXPECT_TRUE(seen.failures.empty());
}
