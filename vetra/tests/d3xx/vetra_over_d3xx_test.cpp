// The library class end to end over a virtual FT60x bridge: a small scripted memory board
// behind the FT_ layer, decoding requests with the public codec functions.

#include "echo_provider.h"

#include <vetra/crc32c.h>
#include <vetra/multicobs.h>
#include <vetra/vetra.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <thread>

namespace {

using namespace std::chrono_literals;
using mme_common::BurstType;

// Memory requests on streams 1 (reads) and 2 (writes) go to a word map; an address listed in
// `faults` answers with that status word. Unwritten words read as 0xC0DE0000 + address.
class memory_board : public ft60x_virtual::provider {
public:
    void attach(ft60x_virtual::device_port *port) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port_ = port;
    }
    void detach() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port_ = nullptr;
    }
    void fromHost(const std::uint8_t *data, std::size_t size) override
    {
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] != 0) {
                frame_.push_back(data[i]);
            } else if (!frame_.empty()) {
                handle(frame_);
                frame_.clear();
            }
        }
    }

    // Sends one packet to the host from any thread.
    void send(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
    {
        std::vector<std::uint32_t> words{stream};
        words.insert(words.end(), payload.begin(), payload.end());
        words.push_back(crc32c::extend_words(0, words.data(), words.size()));
        auto bytes = multicobs::encode({multicobs::const_words{words.data(), words.size()}});
        bytes.insert(bytes.end(), 4, 0);
        std::lock_guard<std::mutex> lock(mutex_);
        if (port_)
            port_->toHost(bytes.data(), bytes.size()); // one call per frame keeps frames whole
    }

    std::map<std::uint32_t, std::uint32_t> faults;
    std::atomic<int> badFrames{0};

private:
    void handle(const std::vector<std::uint8_t> &frame)
    {
        const auto words = multicobs::decode(frame.data(), frame.size());
        if (!words || words->size() < 5
            || crc32c::extend_words(0, words->data(), words->size() - 1) != words->back()) {
            ++badFrames;
            return;
        }
        const auto stream = static_cast<std::uint8_t>(words->front());
        const std::uint32_t id = (*words)[1], address = (*words)[2], control = (*words)[3];
        const std::uint32_t count = control & 0x1FFFFF;
        const bool fixed = control & (1u << 24);
        const auto fault = faults.find(address);
        const std::uint32_t status = fault == faults.end() ? 8 : fault->second;
        std::vector<std::uint32_t> response{id, address, control & ~(1u << 25)};
        if (stream == 1) {
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint32_t a = fixed ? address : address + i;
                const auto it = memory_.find(a);
                response.push_back(it == memory_.end() ? 0xC0DE0000u + a : it->second);
            }
        } else if (stream == 2) {
            if (status == 8)
                for (std::uint32_t i = 0; i < words->size() - 5; ++i)
                    memory_[fixed ? address : address + i] = (*words)[4 + i];
            if (!(control & (1u << 25)))
                return;
        } else {
            return;
        }
        response.push_back(status);
        send(stream, response);
    }

    std::mutex mutex_;
    ft60x_virtual::device_port *port_ = nullptr;
    std::vector<std::uint8_t> frame_;
    std::map<std::uint32_t, std::uint32_t> memory_;
};

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
