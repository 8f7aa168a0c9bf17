#pragma once
// The legacy histogrammer: one start–stop histogram between a reference and a measurement
// channel, bins of the minimum bin width × 2^bitTrunc after a time offset, saturating
// counters, automatic and forced pushes of the bins, and a time trigger of its own that ends
// a window and reports the change of the running state.
//
// It reads individual events from the board's event source, lazily: while it is not
// counting it asks for nothing. Owned by the board and called under its mutex.

#include <cstdint>
#include <functional>
#include <vector>

#include "../module.h"
#include "legacybinner.h"

namespace kestrane {

// One edge of one pulse at a channel's comparator.
struct EdgeEvent {
    std::uint64_t time;    // minimum bin widths since the board started
    std::uint32_t channel; // 0 is the sync channel
    std::uint8_t edge;     // 1 rising, 2 falling
};

class LegacyHistogrammer : public Module {
public:
    // Appends the events of the given channels and edges (bit 0 rising, bit 1 falling) in the
    // board-time interval [from, to) (nanoseconds) to `out`, in time order. The module asks
    // for the empty interval [t, t) when it starts counting at t, so that the source keeps
    // every event from t on for it.
    using EventReader = std::function<void(std::int64_t from, std::int64_t to, std::uint32_t channelA,
                                           std::uint32_t edgesA, std::uint32_t channelB, std::uint32_t edgesB,
                                           std::vector<EdgeEvent> &out)>;
    // Called when the module stops counting: the source may let go of what it keeps for it.
    using Release = std::function<void()>;

    static constexpr std::uint32_t typeId = 0x0021;
    static constexpr std::uint32_t regAddrWidth = 0x00;
    static constexpr std::uint32_t regDataWidth = 0x01;
    static constexpr std::uint32_t regOverflowBits = 0x02;
    static constexpr std::uint32_t regStampBits = 0x03;
    static constexpr std::uint32_t regMinBinWidthFs = 0x04;
    static constexpr std::uint32_t regControl = 0x05;
    static constexpr std::uint32_t regCommand = 0x06;
    static constexpr std::uint32_t regBitTrunc = 0x07;
    static constexpr std::uint32_t regOffsetLow = 0x08;
    static constexpr std::uint32_t regOffsetHigh = 0x09;
    static constexpr std::uint32_t regReference = 0x0A;
    static constexpr std::uint32_t regMeasurement = 0x0B;
    static constexpr std::uint32_t regTriggerLow = 0x0C;
    static constexpr std::uint32_t regTriggerHigh = 0x0D;
    static constexpr std::uint32_t regStatus = 0x0E;
    static constexpr std::uint32_t regWindows = 0x0F;
    static constexpr std::uint32_t regPushes = 0x10;
    static constexpr std::uint32_t regChannels = 0x11;
    static constexpr std::uint32_t regBins = 0x1000;
    static constexpr std::uint32_t windowSize = 0x2000;

    static constexpr std::uint32_t controlRun = 1u << 0;
    static constexpr std::uint32_t controlAutoPush = 1u << 1;
    static constexpr std::uint32_t controlTrigger = 1u << 2;
    // A control write changes only the bits whose mask bit (8 places up) it sets, so the host
    // never undoes a change the board made itself (a window that ended).
    static constexpr unsigned controlWriteShift = 8;
    static constexpr std::uint32_t commandClear = 1u << 0;
    static constexpr std::uint32_t commandPush = 1u << 1;
    static constexpr std::uint32_t statusRunning = 1u << 0;
    static constexpr std::uint32_t statusWindowEnded = 1u << 1;

    static constexpr unsigned addrWidth = 12;
    static constexpr unsigned dataWidth = 16;
    static constexpr unsigned overflowBits = 8;
    static constexpr std::int64_t autoPushPeriodNs = 200'000'000;
    // While counting, events are taken in at least this often so register reads stay fresh.
    static constexpr std::int64_t catchUpPeriodNs = 10'000'000;
    // After a stall (a suspended process, a jump of a test clock) older events are dropped.
    static constexpr std::int64_t maxCatchUpNs = 10'000'000'000;

    LegacyHistogrammer(std::uint32_t base, std::uint32_t channels, std::uint32_t coarseBits,
                       std::uint32_t fineBits, std::uint32_t minBinWidthFs, EventReader events,
                       Release release = {});

    std::uint32_t typeID() const override { return typeId; }
    ModuleVersion hardwareVersion() const override { return {1, 0, 3}; }
    ModuleVersion softwareVersion() const override { return {1, 1, 0}; }
    std::uint32_t size() const override { return windowSize; }

    Status read(std::uint32_t offset, std::uint32_t &value) override;
    Status canWrite(std::uint32_t offset) const override;
    void write(std::uint32_t offset, std::uint32_t value, std::int64_t now) override;

    void service(std::int64_t now, Outbox &out) override;
    std::int64_t nextDue() const override;
    void hostDetached() override { control_ &= ~controlAutoPush; }

    unsigned stampBits() const { return stampBits_; }
    unsigned maxBitTrunc() const { return stampBits_ - addrWidth; }

private:
    bool running() const { return (control_ & controlRun) != 0; }
    // Counts the events owed up to `now` (or the end of the window, whichever is first).
    void catchUp(std::int64_t now);
    void setRunning(bool run, std::int64_t now);
    void stopped();
    void pushBins(Outbox &out);

    std::uint32_t base_;
    std::uint32_t channels_;
    unsigned stampBits_;
    std::uint32_t minBinWidthFs_;
    EventReader events_;
    Release release_;
    LegacyBinner binner_;
    std::vector<EdgeEvent> scratch_;

    std::uint32_t control_ = 0;
    std::uint32_t reference_ = 0x10000; // sync, rising
    std::uint32_t measurement_ = 0x10001; // channel 1, rising
    std::uint64_t triggerUs_ = 0;
    std::uint32_t windowEnded_ = 0; // status bit 1
    std::uint32_t windows_ = 0;
    std::uint32_t pushes_ = 0;

    std::int64_t countedUpTo_ = 0;
    std::int64_t windowEnd_ = never;
    std::int64_t nextAutoPush_ = never;
    bool pushOwed_ = false;
    bool statusOwed_ = false;
};

} // namespace kestrane
