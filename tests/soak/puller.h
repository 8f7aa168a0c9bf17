#pragma once
// Pulls a board after a delay from a thread of its own, and notes which step of the cycle
// was running at that moment. Cancelled (without pulling) when the cycle is done first.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "soakboard.h"
#include "watchdog.h"

namespace soak {

class Puller {
public:
    Puller(SoakBoard &board, Watchdog &dog, std::chrono::microseconds delay);
    // Cancels a pull still waiting and joins.
    ~Puller();
    Puller(const Puller &) = delete;
    Puller &operator=(const Puller &) = delete;

    // Waits until the pull has happened; false when `limit` passed first.
    bool waitPulled(std::chrono::milliseconds limit);
    // Set before the board goes, so an error seen after the board went always finds it set.
    bool pulled() const { return pulled_.load(); }
    // The step that was running when the board went.
    std::string during() const;

private:
    SoakBoard &board_;
    Watchdog &dog_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool cancelled_ = false;
    bool done_ = false;
    std::atomic<bool> pulled_{false};
    std::string during_;
    std::thread thread_;
};

} // namespace soak
