#pragma once
// FTDI USB-bridge transport through libftdi, the bridge in synchronous FIFO mode. A read
// thread polls the bridge in 1 MiB chunks and serves the pending read-until; a
// write-completion thread submits each write and waits for its transfer to finish. Handlers
// run on these two threads. Owned by the packet engine; `close` stops and joins both.

#include "transport/asyncio_interface.h"

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

struct ftdi_context;

// Errors of the libftdi transport ("LibFTDI" category).
enum class libftdi_error : int {
    ok = 0,
    device_not_found = 1,
    link_lost = 12,
    failure = 13,
};
const std::error_category &libftdi_category() noexcept;
std::error_code make_error_code(libftdi_error e) noexcept;

namespace std {
template <>
struct is_error_code_enum<libftdi_error> : true_type {};
} // namespace std

class async_libftdi : public asyncio_interface {
public:
    class libftdi_exception : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    static constexpr int vendor_id = 0x0403;
    static constexpr int product_id = 0x6C68;
    static constexpr std::size_t read_chunk = 0x100000;

    // Throws libftdi_exception "ftdi_new() failed" when no context can be created.
    async_libftdi();
    ~async_libftdi() override;

    // Opens the bridge whose serial number is `name`; options are not used.
    std::error_code open(const std::string &name,
                         const std::map<std::string, std::string> &options) override;
    std::error_code close() override;
    void async_write(asio::const_buffer data, completion_handler handler) override;
    void async_read_until(receive_buffer &buffer, completion_condition condition,
                          completion_handler handler) override;
    const std::error_code &link_lost_code() const override;

private:
    void readLoop();
    void writeLoop();

    ftdi_context *ctx_ = nullptr;
    bool open_ = false;
    std::error_code linkLost_;

    std::mutex mutex_;
    std::condition_variable readWake_;
    std::condition_variable writeWake_;
    bool stop_ = false;

    // The one pending read-until, handed to the read thread under the mutex.
    bool readQueued_ = false;
    receive_buffer *readBuffer_ = nullptr;
    completion_condition readCondition_;
    completion_handler readHandler_;

    // The one pending write, handed to the write thread under the mutex.
    bool writeQueued_ = false;
    asio::const_buffer writeData_;
    completion_handler writeHandler_;

    std::thread readThread_;
    std::thread writeThread_;
};
