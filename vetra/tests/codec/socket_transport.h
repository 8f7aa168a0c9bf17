#pragma once
// A transport over one end of a local socket pair, driven by asio's own asynchronous
// read-until, so the packet engine's end-of-packet search meets asio's way of resuming a
// search. The test writes to the other end like a device would.

// asio's I/O context uses thread fences, which ThreadSanitizer builds warn about although
// asio's own locking orders everything this test relies on.
#if defined(__SANITIZE_THREAD__)
#pragma GCC diagnostic ignored "-Wtsan"
#endif

#include "transport/asyncio_interface.h"

#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>

#include <thread>

class socket_transport : public asyncio_interface {
public:
    explicit socket_transport(asio::local::stream_protocol::socket::native_handle_type fd);
    ~socket_transport() override;

    std::error_code open(const std::string &name, const std::map<std::string, std::string> &options) override;
    std::error_code close() override;
    void async_write(asio::const_buffer data, completion_handler handler) override;
    void async_read_until(receive_buffer &buffer, completion_condition condition,
                          completion_handler handler) override;
    const std::error_code &link_lost_code() const override;

private:
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    asio::local::stream_protocol::socket socket_;
    std::thread worker_;
};
