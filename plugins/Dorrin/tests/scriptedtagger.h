#pragma once
// A time tagger the test drives by hand: batches pushed by the test are delivered on a
// capture thread of its own, like the device library's; delivery can be held back to build
// up a queue; every enable and disable is recorded.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "tdc/tessaronmodule.h"
#include "ttmdevice.h"

class ScriptedTagger : public TessaronModule, public TTMDevice {
public:
    ScriptedTagger() : TessaronModule(0x1400, 0x100, {1, 2, 3}, {1, 2, 3}) {}
    ~ScriptedTagger() override { stopThread(); }

    std::uint32_t typeID() const override { return Dorrin::TypeID; }

    std::error_code enable(Dorrin::Callback callback, const Dorrin::ChannelMap &channels) override
    {
        stopThread();
        std::lock_guard<std::mutex> lock(mutex);
        if (failEnable)
            return std::make_error_code(std::errc::io_error);
        enables.push_back(channels);
        this->callback = std::move(callback);
        captured = 0;
        lost = 0;
        enabled = true;
        stop = false;
        thread = std::thread([this] { run(); });
        return {};
    }

    std::error_code disable() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        enabled = false;
        ++disables;
        return {};
    }

    std::uint64_t captured_events() const override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return captured;
    }
    std::uint64_t lost_events() const override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return lost;
    }

    bool queue_waitEmpty(std::chrono::milliseconds timeout) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        ++waits;
        const auto empty = [this] { return queue.empty() && !delivering; };
        if (timeout.count() == 0) {
            idle.wait(lock, empty);
            return true;
        }
        return idle.wait_for(lock, timeout, empty);
    }

    Dorrin::file_writer::description describe(const Dorrin::ChannelMap &channels) const override
    {
        Dorrin::Parameters p;
        p.numChannels = 9;
        p.tagUnit = 1e-12;
        return describeCapture(p, channels);
    }

    // Queues a batch as captured; it reaches the callback unless delivery is held.
    void push(std::vector<Dorrin::measurement> batch)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!enabled)
            return;
        captured += batch.size();
        queue.push_back(std::move(batch));
        wake.notify_all();
    }
    void hold(bool on)
    {
        std::lock_guard<std::mutex> lock(mutex);
        held = on;
        wake.notify_all();
    }
    void addLost(std::uint64_t n)
    {
        std::lock_guard<std::mutex> lock(mutex);
        lost += n;
    }
    bool isEnabled() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return enabled;
    }
    std::size_t queued() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return queue.size();
    }

    mutable std::mutex mutex;
    std::vector<Dorrin::ChannelMap> enables;
    int disables = 0;
    int waits = 0;
    bool failEnable = false;

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop || (!held && !queue.empty()); });
            if (stop)
                return;
            auto batch = std::move(queue.front());
            queue.pop_front();
            delivering = true;
            const auto cb = callback;
            lock.unlock();
            cb(batch);
            lock.lock();
            delivering = false;
            idle.notify_all();
        }
    }
    void stopThread()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
            queue.clear();
            wake.notify_all();
            idle.notify_all();
        }
        if (thread.joinable())
            thread.join();
    }

    Dorrin::Callback callback;
    std::uint64_t captured = 0;
    std::uint64_t lost = 0;
    bool enabled = false;
    bool held = false;
    bool stop = false;
    bool delivering = false;
    std::deque<std::vector<Dorrin::measurement>> queue;
    std::condition_variable wake;
    std::condition_variable idle;
    std::thread thread;
};
