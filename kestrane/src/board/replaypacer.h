#pragma once
// "Fast" pacing of a replayed recording: board time runs ahead of the wall clock, leaping
// straight to the next work that falls due, so a recording plays as fast as the board's link
// can carry what the modules make of it, not at the speed it was recorded.
//
// Board time is the wall clock plus how far the pacer has leapt ahead. The leaps start only
// after the recording's lead-in (which stays on the wall clock, so a host has the time to
// connect and set up) and stop once the recording has been played: from then on board time
// runs on the wall clock again, and idle modules do not spin.
//
// The link limit keeps the host from being flooded: the board never sends more bytes than its
// link would carry at its rate in the wall time since the leaps began.
//
// Owned by the board. clock() may be called from any thread; leap() and sent() are called by
// the board's pacing thread and its output path.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "kestrane/clock.h"

namespace kestrane {

class ReplayPacer {
public:
    ReplayPacer(Clock wall, std::chrono::nanoseconds leadIn, double linkBytesPerSecond);

    // Board time: the wall clock plus the leaps so far.
    Clock clock() const;

    // The pacing thread's next step: with `wait` until the next work is due (board time) and
    // the replay not yet `exhausted`, either leaps to that work and returns zero, or returns
    // how long to sleep first (the lead-in, the link limit, or the replay is over).
    std::chrono::nanoseconds leap(std::chrono::nanoseconds wait, bool exhausted);

    // Bytes the board has handed to its link.
    void sent(std::uint64_t bytes) { sent_.fetch_add(bytes, std::memory_order_relaxed); }

    std::chrono::nanoseconds ahead() const { return std::chrono::nanoseconds(ahead_->load()); }

private:
    Clock wall_;
    std::chrono::nanoseconds leadIn_;
    double linkBytesPerNs_;
    std::shared_ptr<std::atomic<std::int64_t>> ahead_ = std::make_shared<std::atomic<std::int64_t>>(0);
    std::atomic<std::uint64_t> sent_{0};
    bool leaping_ = false;
    std::int64_t leapStartWall_ = 0;
    std::uint64_t leapStartSent_ = 0;
};

} // namespace kestrane
