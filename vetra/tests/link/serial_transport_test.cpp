// The serial transport on a pseudo-terminal: line settings from the options, byte traffic,
// and the device going away.

#include "board_sim.h"

#include "transport/async_serial.h"

#include <asio/error.hpp>
#include <gtest/gtest.h>

#include <future>
#include <termios.h>

namespace {

using namespace std::chrono_literals;

TEST(serial_transport, BaudRateOption)
{
    using opts = std::map<std::string, std::string>;
    EXPECT_EQ(async_serial::baudRateFrom({}), 115200u);
    EXPECT_EQ(async_serial::baudRateFrom(opts{{"baudrate", "0"}}), 115200u);
    EXPECT_EQ(async_serial::baudRateFrom(opts{{"baudrate", "9600"}}), 9600u);
    EXPECT_EQ(async_serial::baudRateFrom(opts{{"baudrate", "fast"}}), 115200u);
    EXPECT_EQ(async_serial::baudRateFrom(opts{{"baudrate", "9600x"}}), 115200u);
    EXPECT_EQ(async_serial::baudRateFrom(opts{{"baudrate", "-9600"}}), 115200u);
    EXPECT_EQ(async_serial::baudRateFrom(opts{{"baudrate", "99999999999999999999"}}), 115200u);
}

termios settingsAfterOpen(const std::map<std::string, std::string> &options)
{
    board_sim board;
    async_serial port;
    EXPECT_FALSE(port.open(board.portName(), options));
    termios t{};
    tcgetattr(board.slaveFd(), &t);
    EXPECT_FALSE(port.close());
    return t;
}

TEST(serial_transport, LineSettingsFromOptions)
{
    termios t = settingsAfterOpen({{"baudrate", "9600"}, {"hardware_flowcontrol", "true"}});
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);

    t = settingsAfterOpen({{"baudrate", "0"}, {"hardware_flowcontrol", "TRUE"}});
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u); // the comparison is exact
}

TEST(serial_transport, OpenFailureLeavesItClosed)
{
    async_serial port;
    EXPECT_EQ(port.open("/dev/vetra-no-such-port", {}), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(port.close());
    EXPECT_EQ(port.link_lost_code(), asio::error::eof);
}

// Reads until a zero byte.
std::pair<asyncio_interface::buffer_iterator, bool> untilZero(asyncio_interface::buffer_iterator begin,
                                                               asyncio_interface::buffer_iterator end)
{
    for (auto it = begin; it != end; ++it)
        if (*it == 0)
            return {it + 1, true};
    return {end, false};
}

TEST(serial_transport, BytesBothWaysThenTheDeviceGoes)
{
    board_sim board; // its reader is idle: nothing written is ever a packet
    async_serial port;
    ASSERT_FALSE(port.open(board.portName(), {}));
    board.releaseSlave();

    asio::streambuf buffer;
    std::promise<std::pair<std::error_code, std::size_t>> first;
    port.async_read_until(buffer, untilZero, [&](const std::error_code &ec, std::size_t n) {
        first.set_value({ec, n});
    });
    board.sendBytes({5, 6, 7});
    board.sendBytes({8, 0, 9});
    auto result = first.get_future().get();
    EXPECT_FALSE(result.first);
    EXPECT_EQ(result.second, 5u);
    buffer.consume(result.second);
    EXPECT_EQ(buffer.size(), 1u); // the byte after the match stays buffered

    const std::vector<std::uint8_t> out{1, 2, 3, 4};
    std::promise<std::pair<std::error_code, std::size_t>> written;
    port.async_write(asio::buffer(out), [&](const std::error_code &ec, std::size_t n) { written.set_value({ec, n}); });
    result = written.get_future().get();
    EXPECT_FALSE(result.first);
    EXPECT_EQ(result.second, 4u);

    std::promise<std::error_code> lost;
    port.async_read_until(buffer, untilZero, [&](const std::error_code &ec, std::size_t) { lost.set_value(ec); });
    board.closeMaster();
    auto f = lost.get_future();
    ASSERT_EQ(f.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(f.get(), port.link_lost_code());

    // Later reads stay parked instead of failing over and over; close still ends promptly.
    std::atomic<int> calls{0};
    port.async_read_until(buffer, untilZero, [&](const std::error_code &, std::size_t) { ++calls; });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls.load(), 0);
    port.close();
    EXPECT_EQ(calls.load(), 0);
}

TEST(serial_transport, LinkLossCodes)
{
    EXPECT_TRUE(async_serial::isLinkLoss(asio::error::eof));
    EXPECT_TRUE(async_serial::isLinkLoss(std::error_code(EIO, std::system_category())));
    EXPECT_TRUE(async_serial::isLinkLoss(std::error_code(ENODEV, std::system_category())));
    EXPECT_TRUE(async_serial::isLinkLoss(std::error_code(EIO, asio::error::get_system_category())));
    EXPECT_FALSE(async_serial::isLinkLoss(asio::error::operation_aborted));
    EXPECT_FALSE(async_serial::isLinkLoss(std::error_code(EAGAIN, std::system_category())));
}

} // namespace
