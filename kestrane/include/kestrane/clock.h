#pragma once
// The board's time base. A board reads time only through a Clock, so tests can run it on a
// manual clock and step it; programs give it the wall clock.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace kestrane {

// Monotonic time since an arbitrary start.
using Clock = std::function<std::chrono::nanoseconds()>;

// The steady wall clock, counted from the moment this is called.
Clock wallClock();

// A clock that moves only when told to. Copies of `clock()` share its time.
class ManualClock {
public:
    Clock clock() const
    {
        auto t = now_;
        return [t] { return std::chrono::nanoseconds(t->load()); };
    }
    void advance(std::chrono::nanoseconds d) { now_->fetch_add(d.count()); }
    void set(std::chrono::nanoseconds t) { now_->store(t.count()); }

private:
    std::shared_ptr<std::atomic<std::int64_t>> now_ = std::make_shared<std::atomic<std::int64_t>>(0);
};

} // namespace kestrane
