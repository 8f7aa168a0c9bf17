#pragma once
// The FT60x (D3XX) transport: one bridge FIFO channel driven through the FT_ functions,
// synchronously, from a read thread and a write thread of its own.
//
// Owned by the packet engine. `open` starts both threads and `close` (also run by the
// destructor) stops and joins them; read handlers run on the read thread, write handlers on
// the write thread. Requests reach the threads through a flag, a mutex and a condition
// variable per direction.

#include "asyncio_interface.h"

#include <vetra/ftd3xx.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class async_d3xx : public asyncio_interface {
public:
    static constexpr std::uint32_t read_chunk = 0x100000;
    static constexpr std::uint32_t default_write_timeout_ms = 10;

    async_d3xx();
    ~async_d3xx() override;
    async_d3xx(const async_d3xx &) = delete;
    async_d3xx &operator=(const async_d3xx &) = delete;

    // `name` is the device's serial number; options "channel" (0-3, default 0) and
    // "write_timeout" (milliseconds, default 10).
    std::error_code open(const std::string &name, const std::map<std::string, std::string> &options) override;
    // Throws std::system_error (resource_deadlock_would_occur) when called from a handler.
    std::error_code close() override;
    // Requests made while the link is closed are dropped without a call of their handler.
    void async_write(asio::const_buffer data, completion_handler handler) override;
    void async_read_until(receive_buffer &buffer, completion_condition condition,
                          completion_handler handler) override;
    const std::error_code &link_lost_code() const override;

private:
    void readLoop();
    void writeLoop();
    void waitForStop(); // parks the read thread after the device has gone

    FT_HANDLE handle_ = nullptr;
    unsigned char outPipe_ = 0x02;
    unsigned char inPipe_ = 0x82;
    std::atomic<bool> open_{false};
    std::atomic<bool> stop_{false};
    const std::error_code linkLost_;

    std::mutex readMutex_;
    std::condition_variable readWake_;
    bool readPending_ = false;
    bool readExited_ = false;
    receive_buffer *readBuffer_ = nullptr;
    completion_condition readCondition_;
    completion_handler readHandler_;

    std::mutex writeMutex_;
    std::condition_variable writeWake_;
    bool writePending_ = false;
    asio::const_buffer writeData_;
    completion_handler writeHandler_;

    std::thread reader_;
    std::thread writer_;
};
