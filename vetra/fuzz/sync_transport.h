#pragma once
// A transport without threads for the harnesses: bytes "from the device" are handed in by the
// harness and searched with the pending read's condition on the caller's thread, the way
// asio's read_until does it; writes complete when the harness says so. Nothing touches a
// device or the network.

#include "transport/asyncio_interface.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <utility>

class sync_transport : public asyncio_interface {
public:
    std::error_code open(const std::string &, const std::map<std::string, std::string> &) override { return {}; }
    std::error_code close() override
    {
        pending_ = false;
        writes_.clear();
        return {};
    }
    void async_write(asio::const_buffer data, completion_handler handler) override
    {
        writes_.emplace_back(data.size(), std::move(handler));
    }
    void async_read_until(receive_buffer &buffer, completion_condition condition,
                          completion_handler handler) override
    {
        buffer_ = &buffer;
        condition_ = std::move(condition);
        handler_ = std::move(handler);
        searched_ = 0;
        pending_ = true;
        ++reads_;
    }
    const std::error_code &link_lost_code() const override { return lost_; }

    // Appends bytes to the receive buffer and completes every read they satisfy.
    void deliver(const std::uint8_t *data, std::size_t size)
    {
        if (!buffer_ || size == 0)
            return;
        auto space = buffer_->prepare(size);
        std::memcpy(space.data(), data, size);
        buffer_->commit(size);
        search();
    }

    // Completes the queued writes, in order (their handlers may queue more).
    void finish_writes()
    {
        while (!writes_.empty()) {
            auto write = std::move(writes_.front());
            writes_.pop_front();
            write.second({}, write.first);
        }
    }

    // The pending read ends with the link-lost code, as when the device is pulled.
    void lose_link()
    {
        if (!pending_)
            return;
        pending_ = false;
        auto handler = std::move(handler_);
        handler(lost_, 0);
    }

    std::size_t buffered() const { return buffer_ ? buffer_->size() : 0; }
    std::size_t reads() const { return reads_; }

private:
    void search()
    {
        while (pending_ && buffer_) {
            const auto begin = asio::buffers_begin(buffer_->data());
            const auto end = asio::buffers_end(buffer_->data());
            if (searched_ >= buffer_->size())
                return;
            const auto found = condition_(begin + std::ptrdiff_t(searched_), end);
            if (!found.second) {
                searched_ = std::size_t(found.first - begin);
                return;
            }
            pending_ = false;
            auto handler = std::move(handler_);
            // The handler consumes the matched bytes and may start the next read at once.
            handler({}, std::size_t(found.first - begin));
        }
    }

    const std::error_code lost_ = std::make_error_code(std::errc::no_such_device);
    receive_buffer *buffer_ = nullptr;
    completion_condition condition_;
    completion_handler handler_;
    std::size_t searched_ = 0;
    bool pending_ = false;
    std::size_t reads_ = 0;
    std::deque<std::pair<std::size_t, completion_handler>> writes_;
};
