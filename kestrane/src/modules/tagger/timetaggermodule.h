#pragma once
// The time tagger module: reads the events of the enabled channels and edges from the board's
// event engine and sends them to the host as tags on stream 3, through a FIFO of finite size
// and a link of finite rate (TagFifo), as hardware does. Tags it has to drop are counted and
// announced by overflow markers.
//
// Owned by the board; the event engine it reads outlives it. Called under the board's mutex.

#include <memory>
#include <vector>

#include "../../signal/eventengine.h"
#include "../module.h"
#include "tagfifo.h"

namespace kestrane {

class TimeTaggerModule : public Module {
public:
    static constexpr std::uint32_t typeId = 0x0030;
    static constexpr std::uint32_t regControl = 0x00;
    static constexpr std::uint32_t regChannels = 0x01;
    static constexpr std::uint32_t regFifoTags = 0x02;
    static constexpr std::uint32_t regLinkRate = 0x03;
    static constexpr std::uint32_t regRisingMask = 0x04;  // two words
    static constexpr std::uint32_t regFallingMask = 0x06; // two words
    static constexpr std::uint32_t regTagsSent = 0x08;    // two words
    static constexpr std::uint32_t regTagsLost = 0x0A;    // two words
    static constexpr std::uint32_t regTagUnitFs = 0x0C;
    static constexpr std::uint32_t windowSize = 0x100;
    static constexpr std::uint32_t controlEnable = 1u << 0;
    // How often the module moves events to the link while enabled.
    static constexpr std::int64_t servicePeriodNs = 1'000'000;

    TimeTaggerModule(EventEngine &engine, const Profile &profile);
    ~TimeTaggerModule() override;

    std::uint32_t typeID() const override { return typeId; }
    ModuleVersion hardwareVersion() const override { return {1, 0, 0}; }
    ModuleVersion softwareVersion() const override { return {1, 0, 0}; }
    std::uint32_t size() const override { return windowSize; }

    Status read(std::uint32_t offset, std::uint32_t &value) override;
    Status canWrite(std::uint32_t offset) const override;
    void write(std::uint32_t offset, std::uint32_t value, std::int64_t now) override;

    void service(std::int64_t now, Outbox &out) override;
    std::int64_t nextDue() const override
    {
        return stopping_ ? lastService_ : enabled_ ? lastService_ + servicePeriodNs : never;
    }
    void flush(std::int64_t now, Outbox &out) override;
    void hostDetached() override;

private:
    void pull(std::int64_t now, Outbox &out);
    void reportOverrun(std::uint64_t from);
    EventEngine::Selection selection() const;

    EventEngine &engine_;
    std::uint32_t channels_;
    std::uint64_t fifoTags_;
    double linkRate_;
    std::uint32_t tagUnitFs_;
    double nsPerUnit_;
    TagFifo fifo_;
    std::unique_ptr<EventEngine::Reader> reader_;
    std::vector<Event> events_;
    std::vector<std::uint64_t> skipped_; // per channel, events passed over while too far behind

    bool enabled_ = false;
    bool stopping_ = false; // disabled by a write; the rest goes out before the answer
    std::uint32_t masks_[4] = {0, 0, 0, 0};
    std::int64_t lastService_ = 0;
    std::uint64_t overrunReported_ = 0;     // the reader's overrun already turned into losses
    std::uint64_t overrunSeen_[tagwire::maxChannels] = {};
};

} // namespace kestrane
