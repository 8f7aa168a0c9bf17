#include "pte/send_queue.h"

#include <algorithm>

namespace {

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

// Small packets are the ones sent at high rates; large blocks are not worth holding on to.
constexpr std::size_t largest_kept = std::size_t(64) << 10;
constexpr std::size_t total_kept = std::size_t(1) << 20;

} // namespace

send_queue::block send_queue::take(std::size_t capacity)
{
    block bytes;
    {
        brief_lock lock(mutex_);
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

bool send_queue::push(block bytes, completion_handler done, asio::const_buffer &first)
{
    brief_lock lock(mutex_);
    if (count_ == ring_.size()) {
        // Full: double the ring, oldest first. The byte blocks themselves do not move, so a
        // write in progress keeps its bytes.
        std::vector<entry> grown(std::max<std::size_t>(16, 2 * ring_.size()));
        for (std::size_t k = 0; k < count_; ++k)
            grown[k] = std::move(ring_[(head_ + k) % ring_.size()]);
        ring_.swap(grown);
        head_ = 0;
    }
    entry &slot = ring_[(head_ + count_) % ring_.size()];
    slot.bytes = std::move(bytes);
    slot.done = std::move(done);
    if (++count_ != 1)
        return false;
    first = asio::buffer(slot.bytes.data.get(), slot.bytes.size);
    return true;
}

send_queue::popped send_queue::pop()
{
    popped result;
    block written;
    {
        brief_lock lock(mutex_);
        if (count_ == 0)
            return result;
        entry &front = ring_[head_];
        result.done = std::move(front.done);
        front.done = nullptr;
        if (!keep_spare(front.bytes))
            written = std::move(front.bytes);
        head_ = (head_ + 1) % ring_.size();
        --count_;
        if (count_ > 0) {
            result.more = true;
            const block &following = ring_[head_].bytes;
            result.next = asio::buffer(following.data.get(), following.size);
        }
    }
    // `written`, if not kept, is freed here, outside the mutex.
    return result;
}

std::size_t send_queue::spare_count()
{
    brief_lock lock(mutex_);
    return spare_.size();
}

bool send_queue::keep_spare(block &bytes)
{
    if (bytes.capacity == 0 || bytes.capacity > largest_kept || spare_bytes_ + bytes.capacity > total_kept)
        return false;
    spare_bytes_ += bytes.capacity;
    spare_.push_back(std::move(bytes));
    return true;
}
