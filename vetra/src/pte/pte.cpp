// The packet engine: framing, the send queue and the receive loop over one transport.

#include "pte/pte.h"


#include <asio/error.hpp>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// Index of the first non-zero byte, or n.
std::size_t first_nonzero(const std::uint8_t *p, std::size_t n) noexcept
{
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + i, sizeof v);
        if (v != 0)
            break;
    }
    for (; i < n; ++i)
        if (p[i] != 0)
            return i;
    return n;
}

} // namespace

pte::pte(std::unique_ptr<asyncio_interface> transport, stream_handler default_handler,
         error_handler on_error, handler_map handlers, layout_map layouts)
    : transport_(std::move(transport)),
      default_handler_(std::move(default_handler)),
      error_handler_(std::move(on_error)),
      layouts_(std::move(layouts)),
      receive_buffer_()
{
    // Entries holding an empty function stay: they drop their stream's packets rather than
    // passing them to the default handler.
    for (auto &entry : handlers)
        handlers_.emplace(entry.first, std::make_shared<const stream_handler>(std::move(entry.second)));
    receive_buffer_.prepare(128);
}

pte::~pte()
{
    // The transport's threads go first: they may still be writing from the queue or reading
    // into the receive buffer, and they call back into this object through `transport_`, so
    // they are joined while the pointer is still valid.
    if (transport_)
        transport_->close();
    transport_.reset();
}

std::error_code pte::open(const std::string &name, const std::map<std::string, std::string> &options)
{
    const std::error_code error = transport_->open(name, options);
    if (!error)
        start_read();
    return error;
}

const std::error_code &pte::link_lost_code() const
{
    return transport_->link_lost_code();
}

void pte::set_receive_limit(std::size_t bytes) noexcept
{
    receive_limit_.store(bytes, std::memory_order_relaxed);
}

void pte::set_stream_handler(std::uint8_t stream_id, stream_handler handler)
{
    shared_handler replacement;
    if (handler)
        replacement = std::make_shared<const stream_handler>(std::move(handler));
    shared_handler old;
    {
        std::lock_guard<std::mutex> lock(handlers_mutex_);
        auto it = handlers_.find(stream_id);
        if (it != handlers_.end()) {
            old = std::move(it->second);
            if (replacement)
                it->second = std::move(replacement);
            else
                handlers_.erase(it);
        } else if (replacement) {
            handlers_.emplace(stream_id, std::move(replacement));
        }
    }
    // `old` (and whatever it captured) is released here, outside the mutex.
}

void pte::set_stream_layout(std::uint8_t stream_id, std::vector<std::size_t> word_counts)
{
    std::lock_guard<std::mutex> lock(layouts_mutex_);
    if (word_counts.empty())
        layouts_.erase(stream_id);
    else
        layouts_[stream_id] = std::move(word_counts);
}

bool pte::send_packet(std::uint8_t stream_id, payload_list payload, completion_handler done)
{
    // The usual few payload buffers fit on the stack.
    packet_codec::const_words local_parts[8];
    std::vector<packet_codec::const_words> many_parts;
    packet_codec::const_words *parts = local_parts;
    if (payload.size() > std::size(local_parts)) {
        many_parts.resize(payload.size());
        parts = many_parts.data();
    }
    std::size_t words = 0;
    for (std::size_t k = 0; k < payload.size(); ++k) {
        const auto &buffer = payload[k];
        if (!buffer || buffer->empty())
            return false;
        parts[k] = {buffer->data(), buffer->size()};
        words += buffer->size();
    }

    send_queue::block bytes = sending_.take(packet_codec::max_frame_size(words));
    bytes.size = packet_codec::encode(stream_id, parts, payload.size(), bytes.data.get());
    if (bytes.size == 0)
        return false;

    asio::const_buffer first;
    if (sending_.push(std::move(bytes), std::move(done), first))
        start_write(first);
    return true;
}

void pte::start_write(asio::const_buffer bytes)
{
    transport_->async_write(bytes, [this](const std::error_code &e, std::size_t n) { on_write(e, n); });
}

void pte::on_write(const std::error_code &error, std::size_t bytes)
{
    send_queue::popped written = sending_.pop();
    if (written.more)
        start_write(written.next);
    if (written.done)
        written.done(error, bytes);
}

void pte::start_read()
{
    receive_overflow_ = false;
    transport_->async_read_until(
        receive_buffer_,
        [this](asyncio_interface::buffer_iterator begin, asyncio_interface::buffer_iterator end) {
            return match(begin, end);
        },
        [this](const std::error_code &error, std::size_t bytes) { on_read(error, bytes); });
}

// A packet ends at the first zero byte that follows a non-zero byte. Runs on the transport's
// thread while it owns the receive buffer.
std::pair<asyncio_interface::buffer_iterator, bool> pte::match(asyncio_interface::buffer_iterator begin,
                                                              asyncio_interface::buffer_iterator end)
{
    const std::size_t n = std::size_t(end - begin);
    if (n > 0) {
        const auto *p = reinterpret_cast<const std::uint8_t *>(&*begin);
        const std::size_t start = first_nonzero(p, n);
        if (start < n) {
            const void *zero = std::memchr(p + start, 0, n - start);
            if (zero != nullptr)
                return {begin + (static_cast<const std::uint8_t *>(zero) - p + 1), true};
        }
        // Bound the buffer: a device that never ends a packet must not make it grow for ever.
        if (receive_buffer_.size() > receive_limit_.load(std::memory_order_relaxed)) {
            receive_overflow_ = true;
            return {end, true};
        }
        // A later search resumes at the last byte, so a zero arriving next still sees the
        // non-zero byte before it.
        if (start < n)
            return {begin + std::ptrdiff_t(n - 1), false};
    }
    return {end, false};
}

void pte::report(std::error_code error, buffer_list buffers)
{
    if (error_handler_)
        error_handler_(error, std::move(buffers));
}

void pte::drop_and_report(std::size_t consumed, std::error_code error)
{
    receive_buffer_.consume(consumed);
    start_read();
    report(error, {});
}

void pte::on_read(const std::error_code &error, std::size_t bytes)
{
    if (error) {
        receive_buffer_.consume(bytes);
        // A gone device or a closing transport would fail every further read at once.
        const bool final = error == transport_->link_lost_code() || error == asio::error::operation_aborted;
        if (!final)
            start_read();
        report(error, {});
        return;
    }

    const auto *data = static_cast<const std::uint8_t *>(receive_buffer_.data().data());
    if (receive_overflow_) {
        const bool idle = first_nonzero(data, bytes) == bytes;
        receive_buffer_.consume(bytes);
        start_read();
        if (!idle)
            report(make_error_code(pte_packet_error::malformed_multicobs), {});
        return;
    }

    receive_packet(packet_codec::trim(data, bytes), bytes);
}

void pte::receive_packet(packet_codec::frame encoded, std::size_t consumed)
{
    std::uint8_t stream_id = 0;
    if (const std::error_code error = packet_codec::peek(encoded, stream_id)) {
        drop_and_report(consumed, error);
        return;
    }

    std::uint32_t header = 0;
    buffer_list buffers;
    {
        std::lock_guard<std::mutex> lock(layouts_mutex_);
        auto it = layouts_.find(stream_id);
        if (it != layouts_.end()) {
            buffers.reserve(it->second.size() + 1);
            for (std::size_t words : it->second)
                buffers.push_back(std::make_unique<std::vector<std::uint32_t>>(words));
        } else {
            buffers.reserve(1);
        }
    }
    // The layout's buffers: the usual few fit on the stack.
    packet_codec::mutable_words local_fixed[8];
    std::vector<packet_codec::mutable_words> many_fixed;
    packet_codec::mutable_words *fixed = local_fixed;
    if (buffers.size() > std::size(local_fixed)) {
        many_fixed.resize(buffers.size());
        fixed = many_fixed.data();
    }
    for (std::size_t k = 0; k < buffers.size(); ++k)
        fixed[k] = {buffers[k]->data(), buffers[k]->size()};
    const std::size_t fixed_count = buffers.size();
    buffers.push_back(std::make_unique<std::vector<std::uint32_t>>());
    const packet_codec::storage into{&header, fixed, fixed_count, buffers.back().get()};

    const std::error_code decoded = packet_codec::decode(encoded, into);

    // The packet's bytes are no longer needed: let the next one arrive while this one is
    // checked and handed on.
    receive_buffer_.consume(consumed);
    start_read();

    if (decoded) {
        report(decoded, std::move(buffers));
        return;
    }
    if (const std::error_code error = packet_codec::verify(into)) {
        report(error, std::move(buffers));
        return;
    }

    shared_handler registered;
    {
        std::lock_guard<std::mutex> lock(handlers_mutex_);
        auto it = handlers_.find(stream_id);
        if (it != handlers_.end())
            registered = it->second;
    }
    const stream_handler &handler = registered ? *registered : default_handler_;
    if (handler)
        handler(stream_id, std::move(buffers));
}
