#pragma once
// Serial-port transport: an asio serial port driven by one worker thread that runs every
// completion handler. Owned by the packet engine; `close` (or destruction) stops and joins the
// worker.

#include "transport/asyncio_interface.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/serial_port.hpp>

#include <memory>
#include <thread>

class async_serial : public asyncio_interface {
public:
    async_serial();
    ~async_serial() override;

    // Options: "baudrate" (decimal, absent/unparsable/0 gives 115200) and
    // "hardware_flowcontrol" (exactly "true" selects RTS/CTS).
    std::error_code open(const std::string &name,
                         const std::map<std::string, std::string> &options) override;
    std::error_code close() override;
    void async_write(asio::const_buffer data, completion_handler handler) override;
    void async_read_until(receive_buffer &buffer, completion_condition condition,
                          completion_handler handler) override;
    const std::error_code &link_lost_code() const override;

    // The baud rate that `open` derives from the options.
    static unsigned int baudRateFrom(const std::map<std::string, std::string> &options);
    // Whether a read error means that the device has gone.
    static bool isLinkLoss(const std::error_code &ec);

private:
    using work_guard = asio::executor_work_guard<asio::io_context::executor_type>;

    // Fresh per open: destroying the context drops handlers left from a previous link
    // without running them.
    std::unique_ptr<asio::io_context> io_;
    std::unique_ptr<work_guard> work_;
    std::unique_ptr<asio::serial_port> port_;
    std::thread worker_;
    std::error_code linkLost_;
    bool lost_ = false; // worker thread only, once open

};
