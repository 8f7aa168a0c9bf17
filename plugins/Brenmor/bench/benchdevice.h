#pragma once
// A histogrammer that does nothing but answer: the benchmarks feed its wrapper directly.

#include "histogrammerdevice.h"
#include "tdc/tessaronmodule.h"

class BenchDevice : public TessaronModule, public HistogrammerDevice {
public:
    explicit BenchDevice(std::uint32_t bins) : TessaronModule(0, 0, {}, {}), m_bins(bins) {}
    std::uint32_t typeID() const override { return 0x0020; }
    std::uint32_t memoryBins() const override { return m_bins; }
    double minOffset() const override { return -1e-3; }
    double maxOffset() const override { return 1e-3; }
    double minFSR() const override { return 16e-12; }
    double maxFSR() const override { return 1e-3; }
    Callback setCallback(Callback cb) override { std::swap(cb, m_cb); return cb; }
    bool isRunning() const override { return false; }
    Bounds getBounds() const override { return {0.0, 1e-12, m_bins * 1e-12}; }
    void setBounds(const Bounds &) override {}
    BoundsRaw getBoundsRaw() const override { return {0, 1, m_bins}; }
    void setBoundsRaw(const BoundsRaw &) override {}
    ChannelAndEdge getRefCh() const override { return {1, 1}; }
    void setRefCh(ChannelAndEdge) override {}
    ChannelAndEdge getMeasCh() const override { return {2, 1}; }
    void setMeasCh(ChannelAndEdge) override {}
    bool getAccumulate() const override { return false; }
    void setAccumulate(bool) override {}
    bool getMultiHit() const override { return false; }
    void setMultiHit(bool) override {}
    void disable(bool) override {}
    void pause(bool) override {}
    void enable(std::chrono::duration<double>, std::uint32_t) override {}

private:
    std::uint32_t m_bins;
    Callback m_cb;
};
