#pragma once
// A start–stop histogrammer: delays from reference events to measurement events, counted into
// bins between a left and a right bound, window after window, each window's block pushed to
// the host. Registers and behaviour as in docs/board-protocol.md.
//
// It reads the board's event engine through two readers (reference and measurement channel)
// that exist only while a run is going, so a histogrammer that is off costs nothing.
// Histogrammers of one board share a Bank through which a group command reaches every member
// of the group at the same board time. Called under the board's mutex like every module.

#include <deque>
#include <memory>
#include <vector>

#include "../../signal/eventengine.h"
#include "../module.h"

namespace kestrane {

class HistogrammerModule;

// The histogrammers of one board, for group commands. Owned by the board; outlives them.
struct HistogrammerBank {
    std::vector<HistogrammerModule *> members;
};

class HistogrammerModule : public Module {
public:
    static constexpr std::uint32_t typeId = 0x0020;
    static constexpr std::uint32_t regControl = 0x00;
    static constexpr std::uint32_t regCommand = 0x01;
    static constexpr std::uint32_t regStatus = 0x02;
    static constexpr std::uint32_t regPeriodUs = 0x03;
    static constexpr std::uint32_t regWindows = 0x04;
    static constexpr std::uint32_t regWindowIndex = 0x05;
    static constexpr std::uint32_t regRef = 0x06;
    static constexpr std::uint32_t regMeas = 0x07;
    static constexpr std::uint32_t regLeft = 0x08;  // two words
    static constexpr std::uint32_t regWidth = 0x0A; // two words
    static constexpr std::uint32_t regRight = 0x0C; // two words; writing 0x0D applies
    static constexpr std::uint32_t regMemoryBins = 0x0E;
    static constexpr std::uint32_t regBinsInUse = 0x0F;
    static constexpr std::uint32_t regGroup = 0x10;
    static constexpr std::uint32_t regMinBinFs = 0x11;
    static constexpr std::uint32_t regMinOffset = 0x12;
    static constexpr std::uint32_t regMaxOffset = 0x14;
    static constexpr std::uint32_t regMinFsr = 0x16;
    static constexpr std::uint32_t regMaxFsr = 0x18;
    static constexpr std::uint32_t regBlock = 0x20; // window index, flags, bin count
    static constexpr std::uint32_t regBins = 0x100;

    static constexpr std::uint32_t controlAccumulate = 1u << 0;
    static constexpr std::uint32_t controlMultiHit = 1u << 1;
    enum Command : std::uint32_t { enableRun = 1, pauseRun = 2, disableRun = 3, groupEnable = 4, groupDisable = 5 };
    static constexpr std::uint32_t statusRunning = 1u << 0;
    static constexpr std::uint32_t statusPaused = 1u << 1;
    static constexpr std::uint32_t flagRunning = 1u << 0;
    static constexpr std::uint32_t flagLast = 1u << 1;
    static constexpr std::uint32_t minPeriodUs = 100;
    static constexpr std::uint32_t maxPeriodUs = 60000000;
    static constexpr std::uint32_t defaultPeriodUs = 50000;
    static constexpr std::int64_t maxOffset = std::int64_t(1) << 40;
    static constexpr std::int64_t minOffset = -maxOffset;
    static constexpr std::int64_t minFsr = 16;
    static constexpr std::int64_t maxFsr = std::int64_t(1) << 40;
    // After a long stall the module does not replay thousands of windows; it skips to now.
    static constexpr std::int64_t maxCatchUp = 64;

    HistogrammerModule(std::uint32_t base, EventEngine &engine, std::uint32_t memoryBins,
                       double minBinWidth, HistogrammerBank &bank);
    ~HistogrammerModule() override;

    std::uint32_t typeID() const override { return typeId; }
    ModuleVersion hardwareVersion() const override { return {2, 0, 1}; }
    ModuleVersion softwareVersion() const override { return {2, 1, 0}; }
    std::uint32_t size() const override { return regBins + memoryBins_; }

    Status read(std::uint32_t offset, std::uint32_t &value) override;
    Status canWrite(std::uint32_t offset) const override;
    void write(std::uint32_t offset, std::uint32_t value, std::int64_t now) override;
    void service(std::int64_t now, Outbox &out) override;
    std::int64_t nextDue() const override;

    // Group commands reach members through these.
    std::uint32_t group() const { return group_; }
    void enable(std::int64_t now);
    void disable();

private:
    enum class State { stopped, running, paused };

    void applyBounds();
    void openReaders(std::int64_t now);
    // Counts every reference event before `refEnd` (board units).
    void measure(std::uint64_t refEnd);
    void count(std::int64_t ref);
    void push(std::uint32_t flags, Outbox &out);
    std::int64_t periodNs() const { return static_cast<std::int64_t>(periodUs_) * 1000; }
    std::int64_t lateNs() const;
    std::uint32_t binsInUse() const;

    std::uint32_t base_;
    EventEngine &engine_;
    std::uint32_t memoryBins_;
    std::uint32_t minBinFs_;
    HistogrammerBank &bank_;

    std::uint32_t control_ = 0;
    std::uint32_t periodUs_ = defaultPeriodUs;
    std::uint32_t windows_ = 0;
    std::uint32_t ref_ = 1u | (1u << 16);  // channel 1, rising
    std::uint32_t meas_ = 2u | (1u << 16); // channel 2, rising
    std::int64_t left_ = 0;
    std::int64_t width_ = 16;
    std::int64_t right_ = 0; // set in the constructor: every bin of the memory
    std::uint32_t staged_[6] = {};
    std::uint32_t group_ = 0;

    State state_ = State::stopped;
    bool pausePending_ = false; // a pause's block waits for the next service
    std::uint32_t windowIndex_ = 0;
    std::int64_t windowStart_ = 0; // ns
    std::unique_ptr<EventEngine::Reader> refReader_, measReader_;
    std::vector<Event> batch_;
    std::vector<std::int64_t> starts_;  // reference events not yet measured
    std::deque<std::int64_t> stops_;    // measurement events that measurements may still need
    std::vector<std::uint32_t> bins_;

    // The last block, readable and pushed.
    std::uint32_t blockIndex_ = 0, blockFlags_ = 0, blockBins_ = 0;
    std::vector<std::uint32_t> block_;
    std::uint32_t messages_ = 0;
};

} // namespace kestrane
