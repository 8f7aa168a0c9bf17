// The packet engine over a socket read with asio's own read-until: asio resumes each search
// where the previous one said it may, and packets arrive in arbitrary pieces.

#include "pte/pte.h"
#include "socket_transport.h"

#include <vetra/crc32c.h>
#include <vetra/multicobs.h>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <random>

namespace {

using bytes = std::vector<std::uint8_t>;
using words = std::vector<std::uint32_t>;

bytes wire(std::uint8_t stream, const words &payload)
{
    words packet{stream};
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet.push_back(crc32c::extend_words(0, packet.data(), packet.size()));
    bytes out = multicobs::encode({{packet.data(), packet.size()}});
    out.insert(out.end(), 4, 0);
    return out;
}

struct socket_link {
    int device = -1;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<words> packets;
    std::vector<std::error_code> errors;
    std::unique_ptr<pte> engine;

    socket_link()
    {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        device = fds[1];
        engine = std::make_unique<pte>(
            std::make_unique<socket_transport>(fds[0]),
            [this](std::uint8_t, pte::buffer_list list) {
                std::lock_guard<std::mutex> lock(mutex);
                packets.push_back(*list.back());
                changed.notify_all();
            },
            [this](std::error_code error, pte::buffer_list) {
                std::lock_guard<std::mutex> lock(mutex);
                errors.push_back(error);
                changed.notify_all();
            });
        EXPECT_FALSE(engine->open("socket", {}));
    }

    ~socket_link()
    {
        engine.reset();
        ::close(device);
    }

    // Writes in pieces of random size, as a device's bytes trickle in.
    void send(const bytes &data, std::mt19937 &rng, std::size_t largest_piece)
    {
        std::size_t at = 0;
        while (at < data.size()) {
            const std::size_t n = std::min<std::size_t>(data.size() - at, 1 + rng() % largest_piece);
            const ssize_t written = ::write(device, data.data() + at, n);
            ASSERT_GT(written, 0);
            at += std::size_t(written);
        }
    }

    bool wait(std::size_t packet_count, std::size_t error_count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] {
            return packets.size() >= packet_count && errors.size() >= error_count;
        });
    }
};

TEST(PacketEngineAsio, PiecesGarbageAndLargePackets)
{
    socket_link link;
    std::mt19937 rng(9);
    std::vector<words> expected;
    bytes stream{0, 0, 0};
    for (int k = 0; k < 60; ++k) {
        words payload(k % 10 == 0 ? 20000 : 1 + rng() % 300);
        for (auto &w : payload)
            w = rng() % 7 == 0 ? 0 : std::uint32_t(rng());
        const bytes packet = wire(std::uint8_t(k), payload);
        stream.insert(stream.end(), packet.begin(), packet.end());
        expected.push_back(payload);
        if (k % 15 == 7) // a stretch of line noise ending in a zero: one error, then back in step
            stream.insert(stream.end(), {0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0});
    }
    link.send(stream, rng, 5000);
    ASSERT_TRUE(link.wait(expected.size(), 4));
    EXPECT_EQ(link.packets, expected);
    EXPECT_EQ(link.errors.size(), 4u);
}

TEST(PacketEngineAsio, EndlessBytesAreBoundedAndTheLinkRecovers)
{
    socket_link link;
    link.engine->set_receive_limit(100000);
    std::mt19937 rng(10);
    bytes noise(1000000);
    for (auto &b : noise)
        b = std::uint8_t(1 + rng() % 255);
    link.send(noise, rng, 4096);
    ASSERT_TRUE(link.wait(0, 1));
    const bytes good = wire(1, {1, 2, 3});
    bytes tail{0, 0, 0, 0};
    tail.insert(tail.end(), good.begin(), good.end());
    link.send(tail, rng, 4096);
    ASSERT_TRUE(link.wait(1, 1));
    EXPECT_EQ(link.packets.back(), (words{1, 2, 3}));
    std::lock_guard<std::mutex> lock(link.mutex);
    EXPECT_EQ(link.errors[0], make_error_code(pte_packet_error::malformed_multicobs));
    // The last stretch of noise ends at the packet's leading zeros and may be of any length.
    for (const auto &e : link.errors)
        EXPECT_EQ(e, std::errc::bad_message) << e.message();
}

TEST(PacketEngineAsio, PeerClosingIsReportedOnce)
{
    socket_link link;
    ::shutdown(link.device, SHUT_WR);
    ASSERT_TRUE(link.wait(0, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard<std::mutex> lock(link.mutex);
    ASSERT_EQ(link.errors.size(), 1u);
    EXPECT_EQ(link.errors[0], link.engine->link_lost_code());
}

} // namespace
