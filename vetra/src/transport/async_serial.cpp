#include "transport/async_serial.h"

#include <asio/error.hpp>
#include <asio/post.hpp>
#include <asio/read_until.hpp>
#include <asio/write.hpp>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace {

// asio recognises a match condition by its result_type; std::function's is deprecated.
struct match_condition {
    using result_type = std::pair<asyncio_interface::buffer_iterator, bool>;
    asyncio_interface::completion_condition condition;
    result_type operator()(asyncio_interface::buffer_iterator begin,
                           asyncio_interface::buffer_iterator end) const
    {
        return condition(begin, end);
    }
};

// asio reports operating-system failures in a category of its own, which compares equal to
// nothing in std::errc; open results are handed to users, so they carry the standard one.
std::error_code standardised(const std::error_code &ec)
{
    if (ec && ec.category() == asio::error::get_system_category())
        return std::error_code(ec.value(), std::system_category());
    return ec;
}

} // namespace

namespace asio {
template <>
struct is_match_condition<match_condition> : std::true_type {};
} // namespace asio

async_serial::async_serial() : linkLost_(asio::error::eof) {}

async_serial::~async_serial()
{
    try {
        close();
    } catch (...) {
        // Destruction from the worker itself cannot join; nothing else is thrown here.
    }
}

unsigned int async_serial::baudRateFrom(const std::map<std::string, std::string> &options)
{
    const auto it = options.find("baudrate");
    if (it == options.end() || it->second.empty())
        return 115200;
    const char *text = it->second.c_str();
    char *end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    // Decimal digits only: a sign, blanks or trailing characters make it unparsable.
    if (errno != 0 || *end != '\0' || text[0] < '0' || text[0] > '9' || value == 0 ||
        value > 0xFFFFFFFFul)
        return 115200;
    return static_cast<unsigned int>(value);
}

std::error_code async_serial::open(const std::string &name,
                                   const std::map<std::string, std::string> &options)
{
    if (port_ && port_->is_open())
        return std::make_error_code(std::errc::already_connected);

    auto io = std::make_unique<asio::io_context>(1);
    auto port = std::make_unique<asio::serial_port>(*io);
    std::error_code ec;
    port->open(name, ec);
    if (ec)
        return standardised(ec);

    const auto flowIt = options.find("hardware_flowcontrol");
    const bool hardwareFlow = flowIt != options.end() && flowIt->second == "true";

    port->set_option(asio::serial_port_base::baud_rate(baudRateFrom(options)), ec);
    if (!ec)
        port->set_option(asio::serial_port_base::character_size(8), ec);
    if (!ec)
        port->set_option(asio::serial_port_base::parity(asio::serial_port_base::parity::none), ec);
    if (!ec)
        port->set_option(asio::serial_port_base::stop_bits(asio::serial_port_base::stop_bits::one),
                         ec);
    if (!ec)
        port->set_option(asio::serial_port_base::flow_control(
                             hardwareFlow ? asio::serial_port_base::flow_control::hardware
                                          : asio::serial_port_base::flow_control::none),
                         ec);
    if (ec) {
        std::error_code closeError;
        port->close(closeError);
        if (closeError)
            throw std::system_error(closeError, "close");
        return standardised(ec);
    }

    io_ = std::move(io);
    port_ = std::move(port);
    lost_ = false;
    work_ = std::make_unique<work_guard>(io_->get_executor());
    worker_ = std::thread([ctx = io_.get()] { ctx->run(); });
    return {};
}

std::error_code async_serial::close()
{
    if (!io_)
        return {};
    if (worker_.joinable()) {
        if (worker_.get_id() == std::this_thread::get_id())
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
        work_.reset();
        io_->stop();
        worker_.join();
    }
    std::error_code ec;
    if (port_)
        port_->close(ec);
    port_.reset();
    io_.reset();
    return ec;
}

// Operations are started on the worker thread: asio serial ports are not safe to use from two
// threads at once, and the packet engine starts writes on its callers' threads.
void async_serial::async_write(asio::const_buffer data, completion_handler handler)
{
    if (!io_)
        return; // Not open: the packet engine never writes then; nothing could complete it.
    asio::post(*io_, [this, data, handler = std::move(handler)]() mutable {
        asio::async_write(*port_, data,
                          [handler = std::move(handler)](const std::error_code &ec, std::size_t n) {
                              handler(ec, n);
                          });
    });
}

void async_serial::async_read_until(receive_buffer &buffer, completion_condition condition,
                                    completion_handler handler)
{
    if (!io_)
        return;
    asio::post(*io_, [this, &buffer, condition = std::move(condition),
                      handler = std::move(handler)]() mutable {
        // Once the device has gone every read would fail at once; reporting the loss once
        // and leaving the next read parked keeps the worker from spinning until close.
        if (lost_)
            return;
        asio::async_read_until(
            *port_, buffer, match_condition{std::move(condition)},
            [this, handler = std::move(handler)](std::error_code ec, std::size_t n) {
                if (isLinkLoss(ec)) {
                    lost_ = true;
                    ec = linkLost_;
                }
                handler(ec, n);
            });
    });
}

// A hung-up terminal reads as end of file; a pseudo-terminal whose other side has closed, or
// a USB adapter that has been pulled, fails with EIO / ENXIO / ENODEV instead.
bool async_serial::isLinkLoss(const std::error_code &ec)
{
    if (ec == asio::error::eof)
        return true;
    if (ec.category() == std::system_category() || ec.category() == asio::error::get_system_category())
        return ec.value() == EIO || ec.value() == ENXIO || ec.value() == ENODEV;
    return false;
}

const std::error_code &async_serial::link_lost_code() const
{
    return linkLost_;
}
