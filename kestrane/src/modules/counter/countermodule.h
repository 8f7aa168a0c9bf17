#pragma once
// A counter module: counts the rising edges of every channel over an integration time, back
// to back, and pushes each finished sample to the host while auto push is on. One board has
// two: processed events (after the dead time) and raw input (the input-logic flag).
//
// The module reads the board's event engine through one reader of its own; the engine, owned
// by the board, outlives it.

#include <memory>
#include <vector>

#include "../../signal/eventengine.h"
#include "../module.h"

namespace kestrane {

class CounterModule : public Module {
public:
    static constexpr std::uint32_t typeId = 0x0010;
    static constexpr std::uint32_t regControl = 0x00;
    static constexpr std::uint32_t regIntegrationUs = 0x01;
    static constexpr std::uint32_t regChannels = 0x02;
    static constexpr std::uint32_t regInputLogic = 0x03;
    static constexpr std::uint32_t regSampleNumber = 0x04;
    static constexpr std::uint32_t regSample = 0x10;
    static constexpr std::uint32_t windowSize = 0x100;
    static constexpr std::uint32_t controlAutoPush = 1u << 0;
    static constexpr std::uint32_t minIntegrationUs = 100;
    static constexpr std::uint32_t maxIntegrationUs = 60000000;
    static constexpr std::uint32_t defaultIntegrationUs = 200000;
    // After a long stall (a suspended process, a jump of a test clock) the module does not
    // replay thousands of periods; it keeps the last few and starts again from now.
    static constexpr std::int64_t maxCatchUp = 64;

    // `base` is the module's address, needed for the messages it pushes.
    CounterModule(std::uint32_t base, EventEngine &events, bool inputLogic);

    std::uint32_t typeID() const override { return typeId; }
    ModuleVersion hardwareVersion() const override { return {1, 1, 0}; }
    ModuleVersion softwareVersion() const override { return {1, 3, 2}; }
    std::uint32_t size() const override { return windowSize; }

    Status read(std::uint32_t offset, std::uint32_t &value) override;
    Status canWrite(std::uint32_t offset) const override;
    void write(std::uint32_t offset, std::uint32_t value, std::int64_t now) override;

    void service(std::int64_t now, Outbox &out) override;
    std::int64_t nextDue() const override { return periodStart_ + periodNs(); }
    void hostDetached() override { control_ &= ~controlAutoPush; }

private:
    std::int64_t periodNs() const { return static_cast<std::int64_t>(integrationUs_) * 1000; }
    // Counts the events before `upTo` (board units) into the running period.
    void drain(std::uint64_t upTo);
    void restart(std::int64_t now);

    std::uint32_t base_;
    EventEngine &events_;
    bool inputLogic_;
    std::unique_ptr<EventEngine::Reader> reader_;
    std::vector<std::uint64_t> running_; // counts of the period in progress
    std::uint32_t control_ = 0;
    std::uint32_t integrationUs_ = defaultIntegrationUs;
    std::int64_t periodStart_ = 0;
    std::uint32_t sampleNumber_ = 0;
    // integration time in microseconds, then one count per channel
    std::vector<std::uint32_t> sample_;
};

} // namespace kestrane
