#include "async_d3xx.h"

#include <vetra/d3xx_error.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <limits>

namespace {

// Decimal option value; `fallback` when absent or 0. False when present but not a number
// in [0, max].
bool numberOption(const std::map<std::string, std::string> &options, const char *key, std::uint32_t fallback,
                  std::uint32_t max, std::uint32_t &value)
{
    value = fallback;
    auto it = options.find(key);
    if (it == options.end())
        return true;
    const std::string &text = it->second;
    if (text.empty() || text.size() > 10)
        return false;
    std::uint64_t parsed = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        parsed = parsed * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (parsed > max)
        return false;
    if (parsed != 0)
        value = static_cast<std::uint32_t>(parsed);
    return true;
}

// Success is the plain empty code, as everywhere else in the library.
std::error_code statusCode(FT_STATUS status)
{
    return status == FT_OK ? std::error_code() : make_d3xx_error_code(status);
}

} // namespace

async_d3xx::async_d3xx()
    : linkLost_(make_error_code(d3xx_error::device_not_connected))
{
}

async_d3xx::~async_d3xx()
{
    close();
}

std::error_code async_d3xx::open(const std::string &name, const std::map<std::string, std::string> &options)
{
    if (open_)
        return make_error_code(d3xx_error::busy);
    std::uint32_t channel = 0;
    std::uint32_t writeTimeout = 0;
    // A bridge has at most four FIFO channels (OUT pipes 0x02-0x05).
    if (!numberOption(options, "channel", 0, 3, channel)
        || !numberOption(options, "write_timeout", default_write_timeout_ms,
                         std::numeric_limits<std::uint32_t>::max(), writeTimeout))
        return make_error_code(d3xx_error::invalid_parameter);
    outPipe_ = static_cast<unsigned char>(0x02 + channel);
    inPipe_ = static_cast<unsigned char>(0x82 + channel);

    FT_HANDLE handle = nullptr;
    std::string serial = name;
    if (const FT_STATUS status = FT_Create(&serial[0], FT_OPEN_BY_SERIAL_NUMBER, &handle))
        return statusCode(status);
    FT_STATUS status = FT_SetPipeTimeout(handle, outPipe_, writeTimeout);
    if (status == FT_OK)
        status = FT_SetPipeTimeout(handle, inPipe_, 0);
    if (status != FT_OK) {
        // A failed open leaves the device free for the next attempt.
        FT_Close(handle);
        return statusCode(status);
    }

    handle_ = handle;
    stop_ = false;
    readPending_ = false;
    readExited_ = false;
    writePending_ = false;
    reader_ = std::thread(&async_d3xx::readLoop, this);
    writer_ = std::thread(&async_d3xx::writeLoop, this);
    open_ = true;
    return {};
}

std::error_code async_d3xx::close()
{
    if (!open_)
        return {};
    // Joining the thread this runs on would wait for ever.
    const auto self = std::this_thread::get_id();
    if (self == reader_.get_id() || self == writer_.get_id())
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur), "close");
    {
        std::lock_guard<std::mutex> lock(readMutex_);
        stop_ = true;
        readWake_.notify_all();
    }
    // An abort only ends a read already blocked in the driver; the read thread may be just
    // about to enter one. Repeat the abort until the thread has gone.
    {
        std::unique_lock<std::mutex> lock(readMutex_);
        while (!readExited_) {
            lock.unlock();
            FT_AbortPipe(handle_, inPipe_);
            lock.lock();
            readWake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return readExited_; });
        }
    }
    {
        std::lock_guard<std::mutex> lock(writeMutex_);
        writeWake_.notify_all();
    }
    reader_.join();
    writer_.join();
    const FT_STATUS status = FT_Close(handle_);
    handle_ = nullptr;
    open_ = false;
    readHandler_ = nullptr;
    readCondition_ = nullptr;
    writeHandler_ = nullptr;
    return statusCode(status);
}

void async_d3xx::async_write(asio::const_buffer data, completion_handler handler)
{
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (!open_)
        return;
    writeData_ = data;
    writeHandler_ = std::move(handler);
    writePending_ = true;
    writeWake_.notify_all();
}

void async_d3xx::async_read_until(receive_buffer &buffer, completion_condition condition,
                                  completion_handler handler)
{
    std::lock_guard<std::mutex> lock(readMutex_);
    if (!open_)
        return;
    readBuffer_ = &buffer;
    readCondition_ = std::move(condition);
    readHandler_ = std::move(handler);
    readPending_ = true;
    readWake_.notify_all();
}

const std::error_code &async_d3xx::link_lost_code() const
{
    return linkLost_;
}

void async_d3xx::writeLoop()
{
    for (;;) {
        asio::const_buffer data;
        completion_handler handler;
        {
            std::unique_lock<std::mutex> lock(writeMutex_);
            writeWake_.wait(lock, [this] { return writePending_ || stop_; });
            if (stop_)
                return;
            data = writeData_;
            handler = std::move(writeHandler_);
            writePending_ = false;
        }
        // The OUT pipe's time-out bounds this call; a buffer larger than one transfer can
        // carry goes out in several.
        const auto *bytes = static_cast<const unsigned char *>(data.data());
        std::size_t done = 0;
        FT_STATUS status = FT_OK;
        while (status == FT_OK && done < data.size()) {
            const std::size_t left = data.size() - done;
            const auto length = static_cast<std::uint32_t>(left > std::numeric_limits<std::uint32_t>::max()
                                                               ? std::numeric_limits<std::uint32_t>::max()
                                                               : left);
            std::uint32_t written = 0;
            status = FT_WritePipe(handle_, outPipe_, const_cast<unsigned char *>(bytes + done), length,
                                  &written, nullptr);
            done += written;
            if (status == FT_OK && written == 0)
                status = FT_IO_ERROR; // no progress: report instead of spinning
        }
        if (status != FT_OK)
            FT_AbortPipe(handle_, outPipe_);
        if (handler)
            handler(status == FT_OK ? std::error_code() : statusCode(status), done);
    }
}

void async_d3xx::readLoop()
{
    auto exit = [this] {
        std::lock_guard<std::mutex> lock(readMutex_);
        readExited_ = true;
        readWake_.notify_all();
    };
    for (;;) {
        receive_buffer *buffer = nullptr;
        completion_condition condition;
        completion_handler handler;
        {
            std::unique_lock<std::mutex> lock(readMutex_);
            readWake_.wait(lock, [this] { return readPending_ || stop_; });
            if (stop_) {
                readExited_ = true;
                readWake_.notify_all();
                return;
            }
            buffer = readBuffer_;
            condition = std::move(readCondition_);
            handler = std::move(readHandler_);
            readPending_ = false;
        }
        // Where the condition resumes, counted from the start of the buffered bytes: a frame
        // arriving in many pieces is scanned once, not once per piece.
        std::size_t resume = 0;
        for (;;) {
            const auto bytes = buffer->data();
            const auto begin = asio::buffers_begin(bytes);
            const auto match = condition(begin + static_cast<std::ptrdiff_t>(resume), asio::buffers_end(bytes));
            if (match.second) {
                handler(std::error_code(), static_cast<std::size_t>(match.first - begin));
                break;
            }
            resume = static_cast<std::size_t>(match.first - begin);
            if (stop_)
                return exit();
            const auto space = buffer->prepare(read_chunk);
            std::uint32_t received = 0;
            const FT_STATUS status = FT_ReadPipe(handle_, inPipe_, static_cast<unsigned char *>(space.data()),
                                                 read_chunk, &received, nullptr);
            // A read that ends in a time-out may still have brought bytes.
            buffer->commit(status == FT_OK || status == FT_TIMEOUT ? std::min(received, read_chunk) : 0);
            if (status == FT_OK || status == FT_TIMEOUT)
                continue;
            if (status == FT_OPERATION_ABORTED)
                return exit();
            FT_AbortPipe(handle_, inPipe_);
            handler(statusCode(status), 0);
            // The packet engine asks for the next read at once; a device that has gone would
            // answer every one of them with the same error as fast as it can be called.
            if (status == FT_DEVICE_NOT_CONNECTED) {
                waitForStop();
                return exit();
            }
            break;
        }
    }
}

void async_d3xx::waitForStop()
{
    std::unique_lock<std::mutex> lock(readMutex_);
    readWake_.wait(lock, [this] { return stop_.load(); });
}
