// The library class over the FT60x transport: a virtual bridge with a memory board behind it
// is listed, opened by serial number, answers reads and writes, and is then unplugged.

#include "board_sim.h"

#include <vetra/crc32c.h>
#include <vetra/ft60x_virtual.h>
#include <vetra/multicobs.h>
#include <vetra/vetra.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using mme_common::BurstType;

// Answers every memory request it receives; reads return data word i = address + i.
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
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] != 0) {
                frame_.push_back(data[i]);
            } else if (!frame_.empty()) {
                handleFrame();
                frame_.clear();
            }
        }
    }

private:
    void handleFrame()
    {
        const auto words = multicobs::decode(frame_.data(), frame_.size());
        if (!words || words->size() < 5 || !port_)
            return;
        const std::uint8_t stream = static_cast<std::uint8_t>(words->front());
        const std::uint32_t id = (*words)[1], address = (*words)[2], control = (*words)[3];
        std::vector<std::uint32_t> response{id, address, control & ~(1u << 25)};
        if (words->size() == 5) // header, 3 request words, CRC: a read
            for (std::uint32_t i = 0; i < (control & 0x1FFFFF); ++i)
                response.push_back(address + i);
        else if (!(control & (1u << 25)))
            return;
        response.push_back(8);
        const auto bytes = board_sim::encodePacket(stream, response);
        port_->toHost(bytes.data(), bytes.size());
    }

    std::mutex mutex_;
    ft60x_virtual::device_port *port_ = nullptr;
    std::vector<std::uint8_t> frame_;
};

TEST(d3xx_link, ListedOpenedUsedAndUnplugged)
{
    const std::string serial = "VETRALINK01";
    ASSERT_TRUE(ft60x_virtual::addDevice({serial, "Virtual memory board"}, std::make_shared<memory_board>()));

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

TEST(d3xx_link, UnknownSerialNumberFailsToOpen)
{
    vetra link;
    const std::error_code ec = link.open({{"class", "D3XX"}, {"serialNumber", "NO-SUCH-BRIDGE"}}, {}, 1, 2);
    EXPECT_TRUE(ec);
    EXPECT_STREQ(ec.category().name(), "FTD3XX");
    EXPECT_THROW(link.read(0, 1, BurstType::INCREMENTING), mme_defs::device_disconnected);
}

} // namespace
