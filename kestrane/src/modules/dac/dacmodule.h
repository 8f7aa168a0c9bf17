#pragma once
// The threshold DACs: one comparator threshold per channel, set by an r-bit DAC over a
// voltage range, an enable per channel input, and the firmware's automatic threshold search.
//
// The search sweeps every requested channel's threshold over the whole range at once,
// counting raw input at each step, and settles each channel in the middle of its plateau.
// It is paced by board time like the counters, so a test on a manual clock runs a
// four-second sweep in no time.
//
// Owned by the board and called under its mutex. The comparators and the raw count belong to
// the board's event source, which outlives the module.

#include <cstdint>
#include <functional>
#include <vector>

#include "../module.h"

namespace kestrane {

class DacModule : public Module {
public:
    struct Wiring {
        // Applies a channel's comparator from board time `now` on: its threshold and
        // whether the channel's input produces events at all.
        std::function<void(std::uint32_t channel, double volts, bool enabled, std::int64_t now)> setComparator;
        // Raw input events of every channel (sync first) in the board-time interval
        // [from, to), nanoseconds; `counts` has one entry per channel. The module asks for
        // the empty interval [t, t) when a run starts at t, so that the counting keeps every
        // event from t on for it.
        std::function<void(std::int64_t from, std::int64_t to, std::vector<std::uint64_t> &counts)> rawCounts;
        // The run has ended: the counting may let go of what it keeps for the module.
        std::function<void()> release;
    };

    struct Config {
        std::uint32_t channels = 9;     // sync included
        unsigned resolutionBits = 12;
        double minVolts = -0.2;
        double maxVolts = 1.0;
        // Power-up threshold of every channel; channel 0's is fixed.
        std::vector<double> initialVolts;
    };

    static constexpr std::uint32_t typeId = 0x0040;
    static constexpr std::uint32_t regChannels = 0x00;
    static constexpr std::uint32_t regResolution = 0x01;
    static constexpr std::uint32_t regMinMicrovolts = 0x02;
    static constexpr std::uint32_t regMaxMicrovolts = 0x03;
    static constexpr std::uint32_t regTuneControl = 0x04;
    static constexpr std::uint32_t regSweepSteps = 0x05;
    static constexpr std::uint32_t regGateUs = 0x06;
    static constexpr std::uint32_t regTuneRuns = 0x07;
    static constexpr std::uint32_t regMaskLow = 0x08;
    static constexpr std::uint32_t regMaskHigh = 0x09;
    static constexpr std::uint32_t regChannelBase = 0x40;
    static constexpr std::uint32_t channelWords = 8;
    static constexpr std::uint32_t chCode = 0;
    static constexpr std::uint32_t chStatus = 1;
    static constexpr std::uint32_t chKind = 2;
    static constexpr std::uint32_t chTuneState = 3;
    static constexpr std::uint32_t chPlateauFirst = 4;
    static constexpr std::uint32_t chPlateauLast = 5;
    static constexpr std::uint32_t chPlateauRate = 6;
    static constexpr std::uint32_t windowSize = 0x400;
    static constexpr std::uint32_t maxChannels = 64;

    static constexpr std::uint32_t tuneStart = 1;
    static constexpr std::uint32_t tuneAbort = 2;
    static constexpr std::uint32_t statusInput = 1u << 0;
    static constexpr std::uint32_t statusOutput = 1u << 1;

    enum TuneState : std::uint32_t { neverTuned = 0, sweeping = 1, done = 2, noPlateau = 3, aborted = 4, fixed = 5 };

    static constexpr std::uint32_t defaultSteps = 100;
    static constexpr std::uint32_t minSteps = 8;
    static constexpr std::uint32_t maxSteps = 1024;
    static constexpr std::uint32_t defaultGateUs = 40000;
    static constexpr std::uint32_t minGateUs = 100;
    static constexpr std::uint32_t maxGateUs = 1000000;

    DacModule(const Config &config, Wiring wiring, std::int64_t now);

    std::uint32_t typeID() const override { return typeId; }
    ModuleVersion hardwareVersion() const override { return {1, 2, 0}; }
    ModuleVersion softwareVersion() const override { return {1, 4, 0}; }
    std::uint32_t size() const override { return windowSize; }

    Status read(std::uint32_t offset, std::uint32_t &value) override;
    Status canWrite(std::uint32_t offset) const override;
    void write(std::uint32_t offset, std::uint32_t value, std::int64_t now) override;

    void service(std::int64_t now, Outbox &out) override;
    std::int64_t nextDue() const override { return tuning_ ? stepStart_ + gateNs() : never; }
    // Nobody is left to collect a tuning run's results: it is aborted.
    void hostDetached() override;

    double volts(std::uint32_t code) const;
    std::uint32_t code(double volts) const;
    std::uint32_t maxCode() const { return maxCode_; }

private:
    struct Channel {
        std::uint32_t code = 0;
        std::uint32_t status = statusInput | statusOutput;
        bool fixed = false;
        std::uint32_t tuneState = neverTuned;
        std::uint32_t plateauFirst = 0;
        std::uint32_t plateauLast = 0;
        std::uint32_t plateauRate = 0;
        std::uint32_t codeBefore = 0;
        std::vector<std::uint64_t> counts; // one per sweep step
    };

    std::int64_t gateNs() const { return static_cast<std::int64_t>(runGateUs_) * 1000; }
    std::uint32_t stepCode(std::uint32_t step) const;
    void apply(std::uint32_t channel, std::int64_t now);
    void start(std::int64_t now);
    void abort(std::int64_t now);
    void finish(std::int64_t now);

    Config config_;
    Wiring wiring_;
    std::uint32_t maxCode_;
    std::vector<Channel> channels_;

    std::uint32_t steps_ = defaultSteps;
    std::uint32_t gateUs_ = defaultGateUs;
    std::uint64_t mask_ = 0;
    std::uint32_t runs_ = 0;
    bool tuning_ = false;
    std::uint32_t step_ = 0;
    std::uint32_t runSteps_ = 0;
    std::uint32_t runGateUs_ = defaultGateUs;
    std::int64_t stepStart_ = 0;
    std::vector<std::uint64_t> scratch_;
};

} // namespace kestrane
