#include "transport/async_libftdi.h"

#include <ftdi.h>

#include <atomic>
#include <string>

namespace {

class libftdi_category_impl : public std::error_category {
public:
    const char *name() const noexcept override { return "LibFTDI"; }
    std::string message(int value) const override { return value == 0 ? "Status OK" : "Unknown error"; }
};

} // namespace

const std::error_category &libftdi_category() noexcept
{
    static const libftdi_category_impl category;
    return category;
}

std::error_code make_error_code(libftdi_error e) noexcept
{
    return std::error_code(static_cast<int>(e), libftdi_category());
}

async_libftdi::async_libftdi() : linkLost_(libftdi_error::link_lost)
{
    ctx_ = ftdi_new();
    if (!ctx_)
        throw libftdi_exception("ftdi_new() failed");
}

async_libftdi::~async_libftdi()
{
    try {
        close();
    } catch (...) {
        // Only a close from one of the transport's own threads throws; nothing to add here.
    }
    ftdi_free(ctx_);
}

std::error_code async_libftdi::open(const std::string &name, const std::map<std::string, std::string> &)
{
    if (open_)
        return std::make_error_code(std::errc::already_connected);
    const int opened = ftdi_usb_open_desc(ctx_, vendor_id, product_id, nullptr, name.c_str());
    if (opened == -3)
        return libftdi_error::device_not_found;
    if (opened < 0)
        return libftdi_error::failure;
    // Synchronous FIFO on interface A; the 2 ms latency timer bounds every poll of the read
    // thread inside the library.
    if (ftdi_set_interface(ctx_, INTERFACE_A) < 0 || ftdi_set_latency_timer(ctx_, 2) < 0 ||
        ftdi_set_bitmode(ctx_, 0, BITMODE_RESET) < 0 || ftdi_tcioflush(ctx_) < 0 ||
        ftdi_set_bitmode(ctx_, 0, BITMODE_SYNCFF) < 0) {
        ftdi_usb_close(ctx_);
        return libftdi_error::failure;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = false;
        readQueued_ = false;
        writeQueued_ = false;
    }
    open_ = true;
    readThread_ = std::thread([this] { readLoop(); });
    writeThread_ = std::thread([this] { writeLoop(); });
    return {};
}

std::error_code async_libftdi::close()
{
    if (!open_)
        return {};
    const auto self = std::this_thread::get_id();
    if (readThread_.get_id() == self || writeThread_.get_id() == self)
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    readWake_.notify_all();
    writeWake_.notify_all();
    readThread_.join();
    writeThread_.join();
    open_ = false;
    // Requests left queued are dropped with their handlers, never called.
    readHandler_ = nullptr;
    readCondition_ = nullptr;
    writeHandler_ = nullptr;
    if (ftdi_usb_close(ctx_) < 0)
        return libftdi_error::failure;
    return {};
}

void async_libftdi::async_write(asio::const_buffer data, completion_handler handler)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        writeQueued_ = true;
        writeData_ = data;
        writeHandler_ = std::move(handler);
    }
    writeWake_.notify_one();
}

void async_libftdi::async_read_until(receive_buffer &buffer, completion_condition condition,
                                     completion_handler handler)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        readQueued_ = true;
        readBuffer_ = &buffer;
        readCondition_ = std::move(condition);
        readHandler_ = std::move(handler);
    }
    readWake_.notify_one();
}

const std::error_code &async_libftdi::link_lost_code() const
{
    return linkLost_;
}

void async_libftdi::writeLoop()
{
    for (;;) {
        asio::const_buffer data;
        completion_handler handler;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            writeWake_.wait(lock, [this] { return stop_ || writeQueued_; });
            if (stop_)
                return;
            writeQueued_ = false;
            data = writeData_;
            handler = std::move(writeHandler_);
        }
        // Submitted here rather than on the caller's thread: a failure is then reported from
        // this thread too, never from inside the caller's (possibly locked) write request.
        auto *bytes = static_cast<unsigned char *>(const_cast<void *>(data.data()));
        ftdi_transfer_control *transfer = ftdi_write_data_submit(ctx_, bytes, static_cast<int>(data.size()));
        std::error_code error;
        std::size_t written = 0;
        if (!transfer) {
            error = libftdi_error::failure;
        } else {
            const int done = ftdi_transfer_data_done(transfer);
            if (done < 0)
                error = libftdi_error::failure;
            else
                written = static_cast<std::size_t>(done);
        }
        if (handler)
            handler(error, written);
    }
}

void async_libftdi::readLoop()
{
    bool lost = false;
    for (;;) {
        receive_buffer *buffer = nullptr;
        completion_condition condition;
        completion_handler handler;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // After the device has gone every read would fail at once: the loss is reported
            // once and later reads stay parked until close.
            readWake_.wait(lock, [this, lost] { return stop_ || (readQueued_ && !lost); });
            if (stop_)
                return;
            readQueued_ = false;
            buffer = readBuffer_;
            condition = std::move(readCondition_);
            handler = std::move(readHandler_);
        }

        std::size_t searchFrom = 0; // where the next search starts, as asio's read_until
        std::error_code error;
        std::size_t matched = 0;
        bool finished = false;
        while (!finished) {
            const auto data = buffer->data();
            const auto begin = asio::buffers_begin(data);
            const auto end = asio::buffers_end(data);
            const auto result = condition(begin + static_cast<std::ptrdiff_t>(searchFrom), end);
            if (result.second) {
                matched = static_cast<std::size_t>(result.first - begin);
                break;
            }
            searchFrom = static_cast<std::size_t>(result.first - begin);

            int got = 0;
            for (;;) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (stop_)
                        return;
                }
                auto space = buffer->prepare(read_chunk);
                got = ftdi_read_data(ctx_, static_cast<unsigned char *>(space.data()),
                                     static_cast<int>(read_chunk));
                if (got != 0)
                    break;
            }
            if (got == -4) {
                error = linkLost_;
                lost = true;
                finished = true;
            } else if (got < 0) {
                error = libftdi_error::failure;
                finished = true;
            } else {
                buffer->commit(static_cast<std::size_t>(got));
            }
        }
        handler(error, matched);
    }
}
