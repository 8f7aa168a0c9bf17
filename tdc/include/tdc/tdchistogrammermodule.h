#pragma once
// A start–stop histogrammer: for every event of a reference channel the board counts the
// delays to the events of a measurement channel into bins between a left and a right bound,
// and delivers one block of counts per window.
//
// Threads: the counts callback runs on the link's receive thread with no lock of the library
// held, so it may call this module's getters (but its blocking setters would wait for answers
// that thread has to deliver, and end with a time-out). Destroying the module (or its
// TDCBackend) waits for a running callback to return; no callback starts afterwards. Setters
// and getters may be called from any thread; the caller serialises setters of one module.
// Ownership: the module belongs to its TDCBackend. A Group holds its members weakly: a member
// that is destroyed simply leaves it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "tdc/tdcexport.h"
#include "tdc/tessaronmodule.h"

class TDCLink;

class TDC_EXPORT TDCHistogrammerModule : public TessaronModule {
public:
    static constexpr std::uint32_t TypeID = 0x0020;
    std::uint32_t typeID() const override { return TypeID; }

    // Seconds. An absent member is left as it is by setBounds; getBounds fills all three.
    struct Bounds {
        std::optional<double> left;
        std::optional<double> binWidth;
        std::optional<double> right;
    };
    // The same in board units (the minimum bin width).
    struct BoundsRaw {
        std::optional<std::int64_t> left;
        std::optional<std::int64_t> binWidth;
        std::optional<std::int64_t> right;
    };
    // Channel 0 is the sync input. Edge: 1 rising, 2 falling, 3 both.
    struct ChannelAndEdge {
        std::uint16_t channel = 0;
        std::uint8_t edge = 1;
    };
    struct Status {
        std::uint32_t windowIndex = 0; // windows completed in the run, from 1
        bool running = false;          // false on the last block of a run (its end or a pause)
    };
    // The counts of one block: always as many as the bins of the bounds in force.
    using Callback = std::function<void(const std::vector<std::uint64_t> &, Status)>;

    class Group;

    TDCHistogrammerModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
                          std::shared_ptr<TDCLink> link, const std::vector<std::uint32_t> &registers);
    ~TDCHistogrammerModule() override;

    // Published by the board; read without calling it.
    const std::uint32_t memoryBins;   // bins of the board's memory, a power of two
    const double minOffset;           // seconds, for either bound
    const double maxOffset;
    const double minFSR;              // seconds, right − left
    const double maxFSR;
    const double unit;                // the board unit (minimum bin width), seconds

    // Returns the callback installed before.
    Callback setCallback(Callback cb);
    bool isRunning() const;

    Bounds getBounds() const;
    // Applies what the board accepts (bounds clamped to the published limits, the bin width
    // raised so the bins fit the memory) and returns that, all three members present.
    std::pair<std::error_code, Bounds> setBounds(const Bounds &bounds);
    BoundsRaw getBoundsRaw() const;
    std::pair<std::error_code, BoundsRaw> setBoundsRaw(const BoundsRaw &bounds);

    ChannelAndEdge getRefCh() const;
    std::error_code setRefCh(ChannelAndEdge ch);
    ChannelAndEdge getMeasCh() const;
    std::error_code setMeasCh(ChannelAndEdge ch);

    bool getAccumulate() const;
    std::error_code setAccumulate(bool on);
    bool getMultiHit() const;
    std::error_code setMultiHit(bool on);

    // disable(true) stops and clears the bins; the next enable starts from empty ones.
    std::error_code disable(bool disable);
    // pause(true) stops and keeps the bins (one last block arrives with running false);
    // pause(false) resumes with the period and repetitions of the last enable.
    std::error_code pause(bool pause);
    // Starts (or resumes after a pause) with blocks every `period`, for `repetitions` windows
    // (0: until stopped). Returns the period the board applied.
    std::pair<std::error_code, std::chrono::duration<double>> enable(std::chrono::duration<double> period,
                                                                     std::uint32_t repetitions);

private:
    friend class Group;
    struct State;
    std::shared_ptr<State> state_;
};

// Histogrammers that start on the same window boundaries with one enable and stop together.
// All members must be modules of one board.
class TDC_EXPORT TDCHistogrammerModule::Group {
public:
    Group();
    ~Group();
    Group(const Group &) = delete;
    Group &operator=(const Group &) = delete;

    std::error_code addHistogram(TDCHistogrammerModule &module);
    std::error_code removeHistogram(TDCHistogrammerModule &module);
    // Every member runs `repetitions` windows of `period` (0: until stopped).
    std::pair<std::error_code, std::chrono::duration<double>> enable(std::chrono::duration<double> period,
                                                                     std::uint32_t repetitions);
    std::error_code disable(bool disable);

private:
    struct Members;
    std::unique_ptr<Members> d_;
};
