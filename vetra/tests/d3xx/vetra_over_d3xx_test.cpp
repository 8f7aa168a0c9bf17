// The library class end to end over a virtual FT60x bridge: a small scripted memory board
// behind the FT_ layer is listed, opened by serial number, answers reads and writes, and is
// then unplugged.

#include "echo_provider.h"
#include "memory_board.h"

#include <vetra/vetra.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using mme_common::BurstType;

} // namespace

TEST(VetraOverD3xx, ReadsWritesErrorsAndStreamsEndToEnd)
{
    auto board = std::make_shared<memory_board>();
    board->faults[0xBAD0] = 2;
    scoped_device dev("MEMBOARD-1", board, "Scripted memory board");

    vetra link;
    const auto listed = link.getDevices();
    const auto device = std::find_if(listed.first.begin(), listed.first.end(),
                                     [](const auto &d) { return d.at("serialNumber") == "MEMBOARD-1"; });
    ASSERT_NE(device, listed.first.end());
    ASSERT_FALSE(link.open(*device, {{"write_timeout", "1000"}}, 1, 2));
    link.setTimeout(20s); // generous: the subject here is the data, not the timing

    std::vector<std::uint32_t> pattern(0x100);
    for (std::uint32_t i = 0; i < pattern.size(); ++i)
        pattern[i] = i * 0x01010101u;
    auto written = link.write(0x4000, std::make_shared<const std::vector<std::uint32_t>>(pattern),
                              BurstType::INCREMENTING);
    EXPECT_FALSE(written.get());
    auto readBack = link.read(0x4000, 0x100, BurstType::INCREMENTING).get();
    ASSERT_FALSE(readBack.first) << readBack.first.message();
    EXPECT_EQ(*readBack.second, pattern);

    // Larger than one read chunk of the transport: the response arrives in pieces.
    const std::uint32_t big = 0x50000;
    auto large = link.read(0x100000, big, BurstType::INCREMENTING).get();
    ASSERT_FALSE(large.first);
    ASSERT_EQ(large.second->size(), big);
    for (std::uint32_t i = 0; i < big; i += 0x1001)
        ASSERT_EQ((*large.second)[i], 0xC0DE0000u + 0x100000 + i);

    auto fault = link.read(0xBAD0, 1, BurstType::FIXED).get();
    EXPECT_EQ(fault.first, make_error_code(mme_error(2)));

    // Unsolicited stream packets interleave with memory traffic and arrive whole, in order.
    std::mutex m;
    std::condition_variable arrived;
    std::vector<std::uint32_t> stream;
    link.setStreamCallback(9, [&](std::uint8_t id, std::unique_ptr<std::vector<std::uint32_t>> payload) {
        std::lock_guard<std::mutex> lock(m);
        if (id == 9 && payload && payload->size() == 2 && (*payload)[1] == ~(*payload)[0])
            stream.push_back((*payload)[0]);
        arrived.notify_all();
    });
    std::thread pusher([&] {
        for (std::uint32_t i = 0; i < 200; ++i)
            board->send(9, {i, ~i});
    });
    for (int i = 0; i < 20; ++i) {
        auto r = link.read(0x4000 + i, 1, BurstType::INCREMENTING).get();
        EXPECT_FALSE(r.first);
        EXPECT_EQ(r.second->at(0), pattern[i]);
    }
    pusher.join();
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(arrived.wait_for(lock, 20s, [&] { return stream.size() == 200; })) << stream.size();
        for (std::uint32_t i = 0; i < stream.size(); ++i)
            ASSERT_EQ(stream[i], i);
    }
    EXPECT_EQ(board->badFrames, 0);
    link.close();
}

TEST(VetraOverD3xx, ListedOpenedUsedAndUnplugged)
{
    const std::string serial = "VETRALINK01";
    ASSERT_TRUE(ft60x_virtual::addDevice({serial, "Virtual memory board"}, std::make_shared<memory_board>(0)));

    std::mutex m;
    std::vector<std::error_code> errors;
    vetra link([&](const std::error_code &ec, vetra::buffer_list) {
        std::lock_guard<std::mutex> lock(m);
        errors.push_back(ec);
    });
    const auto listed = link.getDevices();
    EXPECT_NE(std::find(listed.second.begin(), listed.second.end(), "D3XX"), listed.second.end());
    const auto device = std::find_if(listed.first.begin(), listed.first.end(), [&](const auto &d) {
        return d.at("class") == "D3XX" && d.at("serialNumber") == serial;
    });
    ASSERT_NE(device, listed.first.end());

    ASSERT_FALSE(link.open(*device, {{"write_timeout", "1000"}}, 1, 2));
    link.setTimeout(10s);
    auto read = link.read(0x2000, 3, BurstType::INCREMENTING).get();
    EXPECT_FALSE(read.first) << read.first.message();
    ASSERT_TRUE(read.second);
    EXPECT_EQ(*read.second, (std::vector<std::uint32_t>{0x2000, 0x2001, 0x2002}));
    EXPECT_FALSE(link.write(0x2000, std::make_shared<const std::vector<std::uint32_t>>(4, 1u), BurstType::FIXED).get());

    ASSERT_TRUE(ft60x_virtual::removeDevice(serial));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    bool disconnected = false;
    while (!disconnected && std::chrono::steady_clock::now() < deadline) {
        try {
            link.getTimeout();
            std::this_thread::sleep_for(5ms);
        } catch (const mme_defs::device_disconnected &) {
            disconnected = true;
        }
    }
    EXPECT_TRUE(disconnected);
    {
        std::lock_guard<std::mutex> lock(m);
        EXPECT_EQ(std::count(errors.begin(), errors.end(), make_error_code(vetraError::device_disconnected)), 1);
    }
    link.close();
    // A closed object can still list what is left.
    EXPECT_NO_THROW(link.getDevices());
}

TEST(VetraOverD3xx, UnknownSerialNumberFailsToOpen)
{
    vetra link;
    const std::error_code ec = link.open({{"class", "D3XX"}, {"serialNumber", "NO-SUCH-BRIDGE"}}, {}, 1, 2);
    EXPECT_TRUE(ec);
    EXPECT_STREQ(ec.category().name(), "FTD3XX");
    EXPECT_THROW(link.read(0, 1, BurstType::INCREMENTING), mme_defs::device_disconnected);
}
