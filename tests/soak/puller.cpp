#include "puller.h"

namespace soak {

Puller::Puller(SoakBoard &board, Watchdog &dog, std::chrono::microseconds delay) : board_(board), dog_(dog)
{
    thread_ = std::thread([this, delay] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (changed_.wait_for(lock, delay, [this] { return cancelled_; }))
            return;
        during_ = dog_.current();
        if (during_.empty())
            during_ = "between steps";
        pulled_ = true;
        lock.unlock();
        board_.pull();
        lock.lock();
        done_ = true;
        changed_.notify_all();
    });
}

Puller::~Puller()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool Puller::waitPulled(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return done_; });
}

std::string Puller::during() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return during_;
}

} // namespace soak
