// The packet engine: framing, the send queue and the receive loop over one transport.

#include "pte/pte.h"

#include <vetra/crc32c.h>
#include <vetra/multicobs.h>

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

// Holds a mutex that the sending threads and the transport's thread take at high rates for a
// few instructions each: a short spin before blocking saves the sleep and wake-up system
// calls that a brief overlap would otherwise cost both sides.
class brief_lock {
public:
    explicit brief_lock(std::mutex &mutex) : mutex_(mutex)
    {
        for (int k = 0; k < 64; ++k) {
            if (mutex_.try_lock())
                return;
            pause();
        }
        mutex_.lock();
    }
    ~brief_lock() { mutex_.unlock(); }
    brief_lock(const brief_lock &) = delete;
    brief_lock &operator=(const brief_lock &) = delete;

private:
    static void pause() noexcept
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    std::mutex &mutex_;
};

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
    const std::uint32_t header = stream_id;
    // Header, payload buffers, CRC: the usual few fit on the stack.
    multicobs::const_words local_parts[8];
    std::vector<multicobs::const_words> many_parts;
    multicobs::const_words *parts = local_parts;
    if (payload.size() + 2 > std::size(local_parts)) {
        many_parts.resize(payload.size() + 2);
        parts = many_parts.data();
    }
    std::size_t part_count = 0;
    parts[part_count++] = {&header, 1};
    std::uint32_t crc = crc32c::extend_words(0, &header, 1);
    std::size_t words = 2;
    for (const auto &buffer : payload) {
        if (!buffer || buffer->empty())
            return false;
        parts[part_count++] = {buffer->data(), buffer->size()};
        crc = crc32c::extend_words(crc, buffer->data(), buffer->size());
        words += buffer->size();
    }
    parts[part_count++] = {&crc, 1};

    packet_bytes bytes = take_spare(multicobs::max_encoded_size(words) + 4);
    const std::size_t size = multicobs::encode(parts, part_count, bytes.data.get());
    if (size == 0)
        return false;
    std::memset(bytes.data.get() + size, 0, 4); // the delimiter word
    bytes.size = size + 4;

    asio::const_buffer first;
    bool start = false;
    {
        brief_lock lock(send_mutex_);
        if (send_count_ == send_ring_.size()) {
            // Full: double the ring, oldest first. The byte blocks themselves do not move,
            // so a write in progress keeps its bytes.
            std::vector<outgoing> grown(std::max<std::size_t>(16, 2 * send_ring_.size()));
            for (std::size_t k = 0; k < send_count_; ++k)
                grown[k] = std::move(send_ring_[(send_head_ + k) % send_ring_.size()]);
            send_ring_.swap(grown);
            send_head_ = 0;
        }
        outgoing &slot = send_ring_[(send_head_ + send_count_) % send_ring_.size()];
        slot.bytes = std::move(bytes);
        slot.done = std::move(done);
        ++send_count_;
        if (send_count_ == 1) {
            start = true;
            first = asio::buffer(slot.bytes.data.get(), slot.bytes.size);
        }
    }
    // The front entry's bytes stay put until its own write completes, so it is safe to start
    // the write after releasing the mutex.
    if (start)
        start_write(first);
    return true;
}

void pte::start_write(asio::const_buffer bytes)
{
    transport_->async_write(bytes, [this](const std::error_code &e, std::size_t n) { on_write(e, n); });
}

void pte::on_write(const std::error_code &error, std::size_t bytes)
{
    completion_handler done;
    packet_bytes written;
    asio::const_buffer next;
    bool more = false;
    {
        brief_lock lock(send_mutex_);
        if (send_count_ == 0)
            return;
        outgoing &front = send_ring_[send_head_];
        done = std::move(front.done);
        front.done = nullptr;
        if (!keep_spare(front.bytes))
            written = std::move(front.bytes); // freed after the mutex is released
        send_head_ = (send_head_ + 1) % send_ring_.size();
        --send_count_;
        if (send_count_ > 0) {
            more = true;
            const packet_bytes &following = send_ring_[send_head_].bytes;
            next = asio::buffer(following.data.get(), following.size);
        }
    }
    if (more)
        start_write(next);
    if (done)
        done(error, bytes);
}

pte::packet_bytes pte::take_spare(std::size_t capacity)
{
    packet_bytes bytes;
    {
        brief_lock lock(send_mutex_);
        if (!spare_.empty()) {
            bytes = std::move(spare_.back());
            spare_.pop_back();
            spare_bytes_ -= bytes.capacity;
        }
    }
    if (bytes.capacity < capacity) {
        bytes.data.reset(new std::uint8_t[capacity]);
        bytes.capacity = capacity;
    }
    bytes.size = 0;
    return bytes;
}

// Called with the send mutex held; true when the buffer has moved to the spares.
bool pte::keep_spare(packet_bytes &bytes)
{
    // Small packets are the ones sent at high rates; large blocks are not worth holding on to.
    constexpr std::size_t largest_kept = std::size_t(64) << 10;
    constexpr std::size_t total_kept = std::size_t(1) << 20;
    if (bytes.capacity == 0 || bytes.capacity > largest_kept || spare_bytes_ + bytes.capacity > total_kept)
        return false;
    spare_bytes_ += bytes.capacity;
    spare_.push_back(std::move(bytes));
    return true;
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

    std::size_t first = first_nonzero(data, bytes);
    std::size_t last = bytes;
    while (last > first && data[last - 1] == 0)
        --last;
    if (last <= first || last - 1 - first <= 8) {
        drop_and_report(bytes, make_error_code(pte_packet_error::packet_too_short));
        return;
    }
    receive_packet(data + first, last - first, bytes);
}

void pte::receive_packet(const std::uint8_t *data, std::size_t size, std::size_t consumed)
{
    const auto stream_id = multicobs::peek_stream_id(data, size);
    if (!stream_id) {
        drop_and_report(consumed, make_error_code(pte_packet_error::malformed_multicobs));
        return;
    }

    std::uint32_t header = 0;
    buffer_list buffers;
    {
        std::lock_guard<std::mutex> lock(layouts_mutex_);
        auto it = layouts_.find(*stream_id);
        if (it != layouts_.end()) {
            buffers.reserve(it->second.size() + 1);
            for (std::size_t words : it->second)
                buffers.push_back(std::make_unique<std::vector<std::uint32_t>>(words));
        } else {
            buffers.reserve(1);
        }
    }
    // The header word, then the layout's buffers: the usual few fit on the stack.
    multicobs::mutable_words local_fixed[8];
    std::vector<multicobs::mutable_words> many_fixed;
    multicobs::mutable_words *fixed = local_fixed;
    if (buffers.size() + 1 > std::size(local_fixed)) {
        many_fixed.resize(buffers.size() + 1);
        fixed = many_fixed.data();
    }
    const std::size_t fixed_count = buffers.size() + 1;
    fixed[0] = {&header, 1};
    std::size_t fixed_words = 1;
    for (std::size_t k = 0; k < buffers.size(); ++k) {
        fixed[k + 1] = {buffers[k]->data(), buffers[k]->size()};
        fixed_words += buffers[k]->size();
    }
    buffers.push_back(std::make_unique<std::vector<std::uint32_t>>());
    std::vector<std::uint32_t> &rest = *buffers.back();

    const auto decoded = multicobs::decode(data, size, fixed, fixed_count, rest);

    // The packet's bytes are no longer needed: let the next one arrive while this one is
    // checked and handed on.
    receive_buffer_.consume(consumed);
    start_read();

    if (!decoded) {
        report(make_error_code(pte_packet_error::malformed_multicobs), std::move(buffers));
        return;
    }
    // Shorter than its stream's layout: the CRC word is not where it must be.
    if (*decoded <= fixed_words) {
        report(make_error_code(pte_packet_error::packet_too_short), std::move(buffers));
        return;
    }
    const std::uint32_t received_crc = rest.back();
    rest.pop_back();
    std::uint32_t crc = crc32c::extend_words(0, &header, 1);
    for (const auto &buffer : buffers)
        crc = crc32c::extend_words(crc, buffer->data(), buffer->size());
    if (crc != received_crc) {
        report(make_error_code(pte_packet_error::bad_crc), std::move(buffers));
        return;
    }

    shared_handler registered;
    {
        std::lock_guard<std::mutex> lock(handlers_mutex_);
        auto it = handlers_.find(*stream_id);
        if (it != handlers_.end())
            registered = it->second;
    }
    const stream_handler &handler = registered ? *registered : default_handler_;
    if (handler)
        handler(*stream_id, std::move(buffers));
}
