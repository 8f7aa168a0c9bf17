#include "boardtime.h"

namespace kestrane {

std::int64_t BoardTime::advance()
{
    std::int64_t t = peek().count();
    const std::int64_t maxStep = maxStep_.load();
    if (started_ && maxStep > 0 && t - last_ > maxStep) {
        slipped_.fetch_add(t - last_ - maxStep, std::memory_order_relaxed);
        t = last_ + maxStep;
    }
    started_ = true;
    last_ = t;
    return t;
}

} // namespace kestrane
