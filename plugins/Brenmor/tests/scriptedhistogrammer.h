#pragma once
// A histogrammer for the tests: keeps its parameters like the board does (bounds on a grid of
// 1 ps, clamped to its published limits), records every call, notices calls that overlap,
// and delivers blocks when the test says so.

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "histogrammerdevice.h"
#include "tdc/tessaronmodule.h"

class ScriptedHistogrammer : public TessaronModule, public HistogrammerDevice {
public:
    static constexpr double unit = 1e-12;

    ScriptedHistogrammer() : TessaronModule(0x1000, 0x200, {}, {}) {}

    std::uint32_t typeID() const override { return 0x0020; }

    std::uint32_t memoryBins() const override { return 1024; }
    double minOffset() const override { return -1e-6; }
    double maxOffset() const override { return 1e-6; }
    double minFSR() const override { return 16e-12; }
    double maxFSR() const override { return 1e-6; }

    Callback setCallback(Callback cb) override
    {
        Call c(this, "setCallback");
        std::swap(cb, m_callback);
        return cb;
    }
    bool isRunning() const override
    {
        Call c(this, "isRunning");
        return m_running;
    }
    Bounds getBounds() const override
    {
        Call c(this, "getBounds");
        return {m_left * unit, m_width * unit, m_right * unit};
    }
    void setBounds(const Bounds &b) override
    {
        Call c(this, "setBounds");
        if (b.left)
            m_left = std::llround(*b.left / unit);
        if (b.binWidth)
            m_width = std::max<long long>(1, std::llround(*b.binWidth / unit));
        if (b.right)
            m_right = std::llround(*b.right / unit);
    }
    BoundsRaw getBoundsRaw() const override
    {
        Call c(this, "getBoundsRaw");
        return {m_left, m_width, m_right};
    }
    void setBoundsRaw(const BoundsRaw &b) override
    {
        Call c(this, "setBoundsRaw");
        m_left = b.left.value();
        m_width = b.binWidth.value();
        m_right = b.right.value();
    }
    ChannelAndEdge getRefCh() const override
    {
        Call c(this, "getRefCh");
        return m_ref;
    }
    void setRefCh(ChannelAndEdge ch) override
    {
        Call c(this, "setRefCh");
        m_ref = ch;
    }
    ChannelAndEdge getMeasCh() const override
    {
        Call c(this, "getMeasCh");
        return m_meas;
    }
    void setMeasCh(ChannelAndEdge ch) override
    {
        Call c(this, "setMeasCh");
        m_meas = ch;
    }
    bool getAccumulate() const override
    {
        Call c(this, "getAccumulate");
        return m_accumulate;
    }
    void setAccumulate(bool on) override
    {
        Call c(this, "setAccumulate");
        m_accumulate = on;
    }
    bool getMultiHit() const override
    {
        Call c(this, "getMultiHit");
        return m_multiHit;
    }
    void setMultiHit(bool on) override
    {
        Call c(this, "setMultiHit");
        m_multiHit = on;
    }
    void disable(bool) override
    {
        Call c(this, "disable");
        m_running = false;
    }
    void pause(bool) override
    {
        Call c(this, "pause");
        m_running = false;
    }
    void enable(std::chrono::duration<double> period, std::uint32_t repetitions) override
    {
        Call c(this, QStringLiteral("enable %1 %2").arg(period.count()).arg(repetitions));
        m_running = true;
    }

    // Calls the registered callback as the device library would.
    bool deliver(const std::vector<std::uint64_t> &counts, std::uint32_t window, bool running)
    {
        Callback cb;
        {
            std::lock_guard<std::mutex> lock(m_logMutex);
            cb = m_callback;
        }
        if (!cb)
            return false;
        cb(counts, Status{window, running});
        return true;
    }
    bool hasCallback() const
    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        return bool(m_callback);
    }

    QStringList calls() const
    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        return m_calls;
    }
    void clearCalls()
    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        m_calls.clear();
    }
    // Two calls were inside the device at the same time.
    bool overlapped() const { return m_overlap; }
    // Every call lasts this long, to give overlapping calls a chance to show.
    std::chrono::microseconds callTime{0};

    long long m_left = 0, m_width = 10, m_right = 10240;
    ChannelAndEdge m_ref{1, 1}, m_meas{2, 1};
    bool m_accumulate = false, m_multiHit = false;
    std::atomic<bool> m_running{false};

private:
    struct Call {
        Call(const ScriptedHistogrammer *d, const QString &name) : device(const_cast<ScriptedHistogrammer *>(d))
        {
            if (device->m_inside.fetch_add(1) != 0)
                device->m_overlap = true;
            {
                std::lock_guard<std::mutex> lock(device->m_logMutex);
                device->m_calls.append(name);
            }
            if (device->callTime.count())
                std::this_thread::sleep_for(device->callTime);
        }
        ~Call() { device->m_inside.fetch_sub(1); }
        ScriptedHistogrammer *device;
    };

    mutable std::mutex m_logMutex;
    QStringList m_calls;
    Callback m_callback;
    std::atomic<int> m_inside{0};
    std::atomic<bool> m_overlap{false};
};
