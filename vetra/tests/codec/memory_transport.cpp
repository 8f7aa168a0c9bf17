#include "memory_transport.h"

#include <cstring>

memory_transport::memory_transport(bool loopback, std::size_t chunk, bool record)
    : loopback_(loopback), record_(record), chunk_(chunk)
{
}

memory_transport::~memory_transport()
{
    close();
}

std::error_code memory_transport::open(const std::string &, const std::map<std::string, std::string> &)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_)
        return std::make_error_code(std::errc::device_or_resource_busy);
    stop_ = false;
    running_ = true;
    worker_ = std::thread([this] { run(); });
    return {};
}

std::error_code memory_transport::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_)
            return {};
        stop_ = true;
        running_ = false;
    }
    wake_.notify_all();
    worker_.join();
    return {};
}

// The engine keeps the bytes alive until the handler has run, so they are copied only once,
// on the worker thread.
void memory_transport::async_write(asio::const_buffer data, completion_handler handler)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        writes_pending_.push_back({static_cast<const std::uint8_t *>(data.data()), data.size(), std::move(handler)});
    }
    wake_.notify_all();
}

void memory_transport::complete_write(write_request request)
{
    std::error_code error;
    std::function<void(const std::vector<std::uint8_t> &)> peer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++writes_;
        if (failing_writes_ > 0) {
            --failing_writes_;
            error = write_error_;
        } else {
            if (record_)
                written_.insert(written_.end(), request.data, request.data + request.size);
            if (loopback_)
                incoming_.insert(incoming_.end(), request.data, request.data + request.size);
            peer = peer_;
        }
    }
    if (peer)
        peer(std::vector<std::uint8_t>(request.data, request.data + request.size));
    request.handler(error, error ? 0 : request.size);
}

void memory_transport::async_read_until(receive_buffer &buffer, completion_condition condition,
                                        completion_handler handler)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        read_pending_ = true;
        read_check_ = true;
        read_buffer_ = &buffer;
        read_condition_ = std::move(condition);
        read_handler_ = std::move(handler);
        ++reads_started_;
    }
    wake_.notify_all();
}

const std::error_code &memory_transport::link_lost_code() const
{
    static const std::error_code lost = std::make_error_code(std::errc::no_such_device);
    return lost;
}

void memory_transport::feed(const std::vector<std::uint8_t> &bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
    }
    wake_.notify_all();
}

std::vector<std::uint8_t> memory_transport::written() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

std::size_t memory_transport::write_count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

void memory_transport::fail_writes(std::error_code error, std::size_t count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    write_error_ = error;
    failing_writes_ = count;
}

void memory_transport::lose_link()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lost_ = true;
    }
    wake_.notify_all();
}

void memory_transport::set_peer(std::function<void(const std::vector<std::uint8_t> &)> peer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    peer_ = std::move(peer);
}

std::size_t memory_transport::reads_started() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_started_;
}

void memory_transport::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] {
            return stop_ || !writes_pending_.empty() ||
                   (read_pending_ && (read_check_ || lost_ || incoming_offset_ < incoming_.size()));
        });
        if (stop_)
            return;
        if (!writes_pending_.empty()) {
            write_request request = std::move(writes_pending_.front());
            writes_pending_.pop_front();
            lock.unlock();
            complete_write(std::move(request));
            lock.lock();
            continue;
        }
        if (lost_) {
            lost_ = false;
            read_pending_ = false;
            auto handler = std::move(read_handler_);
            lock.unlock();
            handler(link_lost_code(), 0);
            lock.lock();
            continue;
        }
        // A new read first tests what is already buffered; otherwise the next chunk of
        // received bytes moves into the engine's buffer and the test is repeated.
        receive_buffer &buffer = *read_buffer_;
        const std::size_t take = read_check_ ? 0 : std::min(chunk_, incoming_.size() - incoming_offset_);
        if (take > 0) {
            auto space = buffer.prepare(take);
            std::memcpy(space.data(), incoming_.data() + incoming_offset_, take);
            buffer.commit(take);
            incoming_offset_ += take;
            if (incoming_offset_ == incoming_.size()) {
                incoming_.clear();
                incoming_offset_ = 0;
            }
        }
        read_check_ = false;
        completion_condition condition = read_condition_;
        lock.unlock();
        const auto begin = buffer_iterator::begin(buffer.data());
        const auto end = buffer_iterator::end(buffer.data());
        const auto result = condition(begin, end);
        lock.lock();
        if (result.second) {
            read_pending_ = false;
            auto handler = std::move(read_handler_);
            lock.unlock();
            handler(std::error_code(), std::size_t(result.first - begin));
            lock.lock();
        }
    }
}
