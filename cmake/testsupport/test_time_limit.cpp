// Linked into every GoogleTest binary: a test that runs past its time limit ends the binary
// at once with a message naming it, instead of hanging until the test driver's limit. A
// broken time-out in the code under test (a future that is never completed, a wait that never
// wakes) thus fails in seconds.
//
// The limit is TESSARON_TEST_LIMIT seconds per test (default 60; 0 switches it off). The
// watcher thread only sleeps and reads the running test's name under its mutex.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

class TimeLimit : public ::testing::EmptyTestEventListener {
public:
    explicit TimeLimit(std::chrono::seconds limit) : limit_(limit), thread_([this] { watch(); }) {}

    ~TimeLimit() override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void OnTestStart(const ::testing::TestInfo &info) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            name_ = std::string(info.test_suite_name()) + "." + info.name();
            deadline_ = std::chrono::steady_clock::now() + limit_;
            running_ = true;
        }
        changed_.notify_all();
    }

    void OnTestEnd(const ::testing::TestInfo &) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = false;
        }
        changed_.notify_all();
    }

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            if (!running_) {
                changed_.wait(lock);
                continue;
            }
            const auto deadline = deadline_;
            if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && running_ && deadline_ == deadline) {
                std::fprintf(stderr, "\n%s did not finish within its time limit of %lld s (TESSARON_TEST_LIMIT); "
                                     "ending the test binary\n",
                             name_.c_str(), static_cast<long long>(limit_.count()));
                std::fflush(stderr);
                std::fflush(stdout);
                std::_Exit(124);
            }
        }
    }

    const std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string name_;
    std::chrono::steady_clock::time_point deadline_{};
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

long limitSeconds()
{
    const char *text = std::getenv("TESSARON_TEST_LIMIT");
    if (!text || !*text)
        return 60;
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return (*end == '\0' && v >= 0) ? v : 60;
}

// Installed before main runs; gtest owns and deletes the listener at exit.
const bool installed = [] {
    if (const long seconds = limitSeconds(); seconds > 0)
        ::testing::UnitTest::GetInstance()->listeners().Append(new TimeLimit(std::chrono::seconds(seconds)));
    return true;
}();

} // namespace
