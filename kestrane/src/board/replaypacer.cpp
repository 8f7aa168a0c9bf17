#include "replaypacer.h"

#include <algorithm>

namespace kestrane {

ReplayPacer::ReplayPacer(Clock wall, std::chrono::nanoseconds leadIn, double linkBytesPerSecond)
    : wall_(std::move(wall)), leadIn_(leadIn), linkBytesPerNs_(std::max(linkBytesPerSecond, 1.0) * 1e-9)
{
}

Clock ReplayPacer::clock() const
{
    return [wall = wall_, ahead = ahead_] { return wall() + std::chrono::nanoseconds(ahead->load()); };
}

std::chrono::nanoseconds ReplayPacer::leap(std::chrono::nanoseconds wait, bool exhausted)
{
    using std::chrono::nanoseconds;
    if (wait <= nanoseconds(0) || exhausted)
        return wait;
    const std::int64_t wall = wall_().count();
    if (wall + ahead_->load() < leadIn_.count())
        return std::min(wait, leadIn_ - nanoseconds(wall + ahead_->load()));
    if (!leaping_) {
        leaping_ = true;
        leapStartWall_ = wall;
        leapStartSent_ = sent_.load(std::memory_order_relaxed);
    }
    // What has gone out so far needs this much wall time on the link; sleep off the rest.
    const double bytes = static_cast<double>(sent_.load(std::memory_order_relaxed) - leapStartSent_);
    const auto due = static_cast<std::int64_t>(bytes / linkBytesPerNs_);
    const std::int64_t behind = due - (wall - leapStartWall_);
    if (behind > 0)
        return std::min(wait, nanoseconds(behind));
    ahead_->fetch_add(wait.count());
    return nanoseconds(0);
}

} // namespace kestrane
