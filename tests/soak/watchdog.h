#pragma once
// Ends the process when a step of the soak takes longer than its limit, naming the step, so a
// hang shows up as a clear failure within seconds instead of a stuck run.
//
// One watchdog per process, owned by the soak's main loop. step() and the Step guards are used
// from one thread (the loop); current() may be asked from any thread. The watchdog's own
// thread only sleeps, reads the armed step under the mutex and, on expiry, writes the message
// and exits.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace soak {

class Watchdog {
public:
    // `context` adds what is needed to reproduce the run (seed, cycle) to the message.
    // `exitCode` is what the process ends with when a step overruns.
    explicit Watchdog(std::function<std::string()> context, int exitCode = 3);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // Disarms the step it stands for when it goes out of scope.
    class Step {
    public:
        Step(Step &&other) noexcept : dog_(other.dog_) { other.dog_ = nullptr; }
        Step(const Step &) = delete;
        Step &operator=(const Step &) = delete;
        ~Step();

    private:
        friend class Watchdog;
        explicit Step(Watchdog *dog) : dog_(dog) {}
        Watchdog *dog_;
    };

    // Arms `name` for `limit`; a step armed before is replaced (steps do not nest).
    [[nodiscard]] Step step(std::string name, std::chrono::milliseconds limit);
    // The step armed now, or "" between steps.
    std::string current() const;

private:
    void run();
    void disarm();

    std::function<std::string()> context_;
    int exitCode_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string name_;
    std::chrono::milliseconds limit_{0};
    std::chrono::steady_clock::time_point deadline_{};
    bool armed_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace soak
