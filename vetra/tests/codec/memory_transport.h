#pragma once
// An in-memory transport for exercising the packet engine without a device. One worker
// thread runs every handler, like the serial transport's asio thread. Bytes the engine
// writes are recorded (and, in loopback mode, received again); the test feeds received bytes
// with `feed`, optionally cut into small chunks so that packets straddle reads.

#include "transport/asyncio_interface.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class memory_transport : public asyncio_interface {
public:
    // `record`: keep a copy of everything written (tests inspect it; benchmarks do not).
    explicit memory_transport(bool loopback = false, std::size_t chunk = std::size_t(1) << 20, bool record = true);
    ~memory_transport() override;

    std::error_code open(const std::string &name, const std::map<std::string, std::string> &options) override;
    std::error_code close() override;
    void async_write(asio::const_buffer data, completion_handler handler) override;
    void async_read_until(receive_buffer &buffer, completion_condition condition,
                          completion_handler handler) override;
    const std::error_code &link_lost_code() const override;

    // Bytes arriving from the device.
    void feed(const std::vector<std::uint8_t> &bytes);
    // Everything written so far.
    std::vector<std::uint8_t> written() const;
    // Number of write operations so far.
    std::size_t write_count() const;
    // The next `count` writes complete with `error` and write nothing.
    void fail_writes(std::error_code error, std::size_t count);
    // The pending (or next) read completes with the link-lost code.
    void lose_link();
    // A device model answering writes: called on the worker thread with each written buffer,
    // outside the transport's mutex, so it may call `feed`.
    void set_peer(std::function<void(const std::vector<std::uint8_t> &)> peer);
    // Number of read-until operations started so far.
    std::size_t reads_started() const;

private:
    void run();

    const bool loopback_;
    const bool record_;
    const std::size_t chunk_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread worker_;
    bool running_ = false;
    bool stop_ = false;

    struct write_request {
        const std::uint8_t *data;
        std::size_t size;
        completion_handler handler;
    };
    void complete_write(write_request request);

    std::deque<write_request> writes_pending_;
    std::function<void(const std::vector<std::uint8_t> &)> peer_;
    std::vector<std::uint8_t> incoming_;
    std::size_t incoming_offset_ = 0;
    std::vector<std::uint8_t> written_;
    std::size_t writes_ = 0;
    std::error_code write_error_;
    std::size_t failing_writes_ = 0;
    bool lost_ = false;
    std::size_t reads_started_ = 0;

    bool read_pending_ = false;
    bool read_check_ = false;
    receive_buffer *read_buffer_ = nullptr;
    completion_condition read_condition_;
    completion_handler read_handler_;
};
