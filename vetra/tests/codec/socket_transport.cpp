#include "socket_transport.h"

#include <asio/read_until.hpp>
#include <asio/write.hpp>

socket_transport::socket_transport(asio::local::stream_protocol::socket::native_handle_type fd)
    : work_(asio::make_work_guard(io_)), socket_(io_, asio::local::stream_protocol(), fd)
{
}

socket_transport::~socket_transport()
{
    close();
}

std::error_code socket_transport::open(const std::string &, const std::map<std::string, std::string> &)
{
    worker_ = std::thread([this] { io_.run(); });
    return {};
}

std::error_code socket_transport::close()
{
    if (!worker_.joinable())
        return {};
    io_.stop();
    worker_.join();
    std::error_code error;
    socket_.close(error);
    return error;
}

void socket_transport::async_write(asio::const_buffer data, completion_handler handler)
{
    asio::async_write(socket_, data, [handler = std::move(handler)](const std::error_code &e, std::size_t n) {
        handler(e, n);
    });
}

void socket_transport::async_read_until(receive_buffer &buffer, completion_condition condition,
                                        completion_handler handler)
{
    asio::async_read_until(socket_, buffer, condition,
                           [handler = std::move(handler)](const std::error_code &e, std::size_t n) { handler(e, n); });
}

const std::error_code &socket_transport::link_lost_code() const
{
    static const std::error_code lost = asio::error::eof;
    return lost;
}
