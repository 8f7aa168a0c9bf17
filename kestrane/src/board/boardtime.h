#pragma once
// The one time every module of a board reads. It follows the board's clock, less what has
// been let slip: a board paced on the wall clock by a host too slow to simulate it in real
// time would otherwise owe more work at every step (the events of all the time since the last
// step), each step would take longer than the last, and requests waiting for the board would
// time out. Once bounded, a reading moves at most `maxStep` past the previous one and the rest
// of the clock's lead is let slip. Board time then falls behind the wall clock, for every
// module alike, so counters, histogrammers and tags still agree, and every step or request
// costs a bounded amount of work whatever the load.
//
// Owned by the board. advance() is called under the board's mutex; peek(), slipped() and
// bound() from any thread.

#include <atomic>
#include <chrono>
#include <cstdint>

#include "kestrane/clock.h"

namespace kestrane {

class BoardTime {
public:
    explicit BoardTime(Clock clock) : clock_(std::move(clock)) {}

    // From now on a reading moves at most `maxStep` past the previous one; zero never slips.
    void bound(std::chrono::nanoseconds maxStep) { maxStep_.store(maxStep.count()); }

    // Board time for the work about to be done, in nanoseconds.
    std::int64_t advance();
    // Board time as the next advance() would see it before any slip, for the pacer's sleeps.
    std::chrono::nanoseconds peek() const
    {
        return clock_() - std::chrono::nanoseconds(slipped_.load(std::memory_order_relaxed));
    }
    // How far board time has fallen behind the clock.
    std::chrono::nanoseconds slipped() const
    {
        return std::chrono::nanoseconds(slipped_.load(std::memory_order_relaxed));
    }

private:
    Clock clock_;
    std::atomic<std::int64_t> maxStep_{0};
    std::atomic<std::int64_t> slipped_{0};
    std::int64_t last_ = 0;
    bool started_ = false;
};

} // namespace kestrane
