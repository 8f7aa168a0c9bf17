#pragma once
// One channel's events in time order, as the event engine keeps them between the source that
// makes them and the readers that take them.
//
// A vector of its own rather than std::vector: a source writes events through a plain pointer
// into room it asked for up front (tail() / commit()), so the loop that makes them checks no
// capacity and keeps its state in registers; std::vector would either check every append or
// zero the room first. Events are trivially copyable, so growing is a realloc.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace kestrane {

enum class Edge : std::uint8_t { rising = 1, falling = 2 };

struct Event {
    std::uint64_t time;    // board units since the board started
    std::uint16_t channel; // 0 is the sync channel
    Edge edge;
    std::uint8_t lost;     // 1 when the processed path lost this event to the dead time
};

class EventLane {
public:
    EventLane() = default;
    EventLane(const EventLane &) = delete;
    EventLane &operator=(const EventLane &) = delete;
    EventLane(EventLane &&o) noexcept
        : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)),
          capacity_(std::exchange(o.capacity_, 0))
    {
    }
    EventLane &operator=(EventLane &&o) noexcept
    {
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        std::swap(capacity_, o.capacity_);
        return *this;
    }
    ~EventLane() { std::free(data_); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Event *data() { return data_; }
    const Event *data() const { return data_; }
    Event *begin() { return data_; }
    Event *end() { return data_ + size_; }
    const Event *begin() const { return data_; }
    const Event *end() const { return data_ + size_; }
    Event &operator[](std::size_t i) { return data_[i]; }
    const Event &operator[](std::size_t i) const { return data_[i]; }

    void push_back(const Event &e) { *tail(1) = e, ++size_; }

    // Room for at least n more events; returns where the next one goes. Nothing written there
    // belongs to the lane until commit().
    Event *tail(std::size_t n)
    {
        if (capacity_ - size_ < n)
            grow(size_ + n);
        return data_ + size_;
    }
    // The events written from tail() up to `end` are the lane's now.
    void commit(const Event *end) { size_ = static_cast<std::size_t>(end - data_); }

    // Keeps the first n events.
    void truncate(std::size_t n)
    {
        if (n < size_)
            size_ = n;
    }
    // Lets the first n events go.
    void dropFront(std::size_t n)
    {
        if (n >= size_) {
            size_ = 0;
            return;
        }
        std::memmove(data_, data_ + n, (size_ - n) * sizeof(Event));
        size_ -= n;
    }
    // Takes out the event at index i.
    void erase(std::size_t i)
    {
        std::memmove(data_ + i, data_ + i + 1, (size_ - i - 1) * sizeof(Event));
        --size_;
    }
    void clear() { size_ = 0; }

private:
    static_assert(std::is_trivially_copyable_v<Event>);

    void grow(std::size_t atLeast)
    {
        std::size_t c = capacity_ < 64 ? 64 : capacity_ * 2;
        while (c < atLeast)
            c *= 2;
        void *p = std::realloc(data_, c * sizeof(Event));
        if (!p)
            throw std::bad_alloc();
        data_ = static_cast<Event *>(p);
        capacity_ = c;
    }

    Event *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace kestrane
