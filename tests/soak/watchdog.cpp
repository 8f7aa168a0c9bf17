#include "watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace soak {

Watchdog::Watchdog(std::function<std::string()> context, int exitCode)
    : context_(std::move(context)), exitCode_(exitCode), thread_([this] { run(); })
{
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

Watchdog::Step::~Step()
{
    if (dog_)
        dog_->disarm();
}

Watchdog::Step Watchdog::step(std::string name, std::chrono::milliseconds limit)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        name_ = std::move(name);
        limit_ = limit;
        deadline_ = std::chrono::steady_clock::now() + limit;
        armed_ = true;
    }
    changed_.notify_all();
    return Step(this);
}

std::string Watchdog::current() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return armed_ ? name_ : std::string();
}

void Watchdog::disarm()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
        name_.clear();
    }
    changed_.notify_all();
}

void Watchdog::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stopping_)
            return;
        if (!armed_) {
            changed_.wait(lock);
            continue;
        }
        const auto deadline = deadline_;
        if (changed_.wait_until(lock, deadline) != std::cv_status::timeout)
            continue;
        if (!armed_ || stopping_ || deadline_ != deadline)
            continue;
        const std::string name = name_;
        const auto limit = limit_;
        lock.unlock();
        // The hung thread may hold any lock, so nothing is torn down: say what hung and go.
        const std::string context = context_ ? context_() : std::string();
        std::fprintf(stderr, "soak: HANG: step \"%s\" did not finish within %lld ms%s%s; aborting\n", name.c_str(),
                     static_cast<long long>(limit.count()), context.empty() ? "" : " ", context.c_str());
        std::fflush(stderr);
        std::fflush(stdout);
        std::_Exit(exitCode_);
    }
}

} // namespace soak
