#pragma once
// What the histogram wrapper needs of a start–stop histogrammer, as an interface: the board's
// `TDCHistogrammerModule` behind `ModuleHistogrammer`, and scripted stand-ins in the tests that
// record every call and deliver blocks on demand.
//
// Threads: as the module's own contract (tdc/tdchistogrammermodule.h); the wrapper serialises
// every call with its module mutex.

#include <chrono>
#include <cstdint>

#include "tdc/tdchistogrammermodule.h"

class HistogrammerDevice {
public:
    using Bounds = TDCHistogrammerModule::Bounds;
    using BoundsRaw = TDCHistogrammerModule::BoundsRaw;
    using ChannelAndEdge = TDCHistogrammerModule::ChannelAndEdge;
    using Status = TDCHistogrammerModule::Status;
    using Callback = TDCHistogrammerModule::Callback;

    virtual ~HistogrammerDevice() = default;

    // Published constants, read without calling the board.
    virtual std::uint32_t memoryBins() const = 0;
    virtual double minOffset() const = 0;
    virtual double maxOffset() const = 0;
    virtual double minFSR() const = 0;
    virtual double maxFSR() const = 0;

    virtual Callback setCallback(Callback cb) = 0;
    virtual bool isRunning() const = 0;
    virtual Bounds getBounds() const = 0;
    virtual void setBounds(const Bounds &bounds) = 0;
    virtual BoundsRaw getBoundsRaw() const = 0;
    virtual void setBoundsRaw(const BoundsRaw &bounds) = 0;
    virtual ChannelAndEdge getRefCh() const = 0;
    virtual void setRefCh(ChannelAndEdge ch) = 0;
    virtual ChannelAndEdge getMeasCh() const = 0;
    virtual void setMeasCh(ChannelAndEdge ch) = 0;
    virtual bool getAccumulate() const = 0;
    virtual void setAccumulate(bool on) = 0;
    virtual bool getMultiHit() const = 0;
    virtual void setMultiHit(bool on) = 0;
    virtual void disable(bool off) = 0;
    virtual void pause(bool on) = 0;
    virtual void enable(std::chrono::duration<double> period, std::uint32_t repetitions) = 0;

    // The board module behind the device, for running it in a module group; null for a
    // device that is not a board's (the time-trigger run then enables it on its own).
    virtual TDCHistogrammerModule *boardModule() { return nullptr; }
};

// The board's histogrammer. Not owning: the module belongs to the device library.
class ModuleHistogrammer : public HistogrammerDevice {
public:
    explicit ModuleHistogrammer(TDCHistogrammerModule &module) : m_module(module) {}

    std::uint32_t memoryBins() const override { return m_module.memoryBins; }
    double minOffset() const override { return m_module.minOffset; }
    double maxOffset() const override { return m_module.maxOffset; }
    double minFSR() const override { return m_module.minFSR; }
    double maxFSR() const override { return m_module.maxFSR; }

    Callback setCallback(Callback cb) override { return m_module.setCallback(std::move(cb)); }
    bool isRunning() const override { return m_module.isRunning(); }
    Bounds getBounds() const override { return m_module.getBounds(); }
    void setBounds(const Bounds &bounds) override;
    BoundsRaw getBoundsRaw() const override { return m_module.getBoundsRaw(); }
    void setBoundsRaw(const BoundsRaw &bounds) override;
    ChannelAndEdge getRefCh() const override { return m_module.getRefCh(); }
    void setRefCh(ChannelAndEdge ch) override;
    ChannelAndEdge getMeasCh() const override { return m_module.getMeasCh(); }
    void setMeasCh(ChannelAndEdge ch) override;
    bool getAccumulate() const override { return m_module.getAccumulate(); }
    void setAccumulate(bool on) override;
    bool getMultiHit() const override { return m_module.getMultiHit(); }
    void setMultiHit(bool on) override;
    void disable(bool off) override;
    void pause(bool on) override;
    void enable(std::chrono::duration<double> period, std::uint32_t repetitions) override;
    TDCHistogrammerModule *boardModule() override { return &m_module; }

private:
    TDCHistogrammerModule &m_module;
};
