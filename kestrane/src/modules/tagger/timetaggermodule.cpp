#include "timetaggermodule.h"

#include <algorithm>
#include <cmath>

namespace kestrane {

namespace {
constexpr std::size_t pullChunk = 8192;
// How far behind its events the tagger may fall. On a machine too slow to run the board in
// real time every service would otherwise find more to do than the last, and a stop would wait
// for all of it; what lies further back is counted lost and announced, as a FIFO overflow is.
constexpr std::int64_t maxLagNs = 100'000'000;
} // namespace

TimeTaggerModule::TimeTaggerModule(EventEngine &engine, const Profile &profile)
    : engine_(engine),
      channels_(profile.channels()),
      fifoTags_(profile.tagFifo),
      linkRate_(profile.tagLinkRate),
      tagUnitFs_(static_cast<std::uint32_t>(std::llround(profile.minBinWidth * 1e15))),
      nsPerUnit_(profile.minBinWidth * 1e9),
      fifo_(profile.tagFifo, profile.tagLinkRate),
      events_(pullChunk),
      skipped_(profile.channels(), 0)
{
}

TimeTaggerModule::~TimeTaggerModule() = default;

EventEngine::Selection TimeTaggerModule::selection() const
{
    EventEngine::Selection s;
    s.rising = masks_[0] | static_cast<std::uint64_t>(masks_[1]) << 32;
    s.falling = masks_[2] | static_cast<std::uint64_t>(masks_[3]) << 32;
    s.processed = true;
    return s;
}

Status TimeTaggerModule::read(std::uint32_t offset, std::uint32_t &value)
{
    switch (offset) {
    case regControl: value = enabled_ ? controlEnable : 0; break;
    case regChannels: value = channels_; break;
    case regFifoTags: value = static_cast<std::uint32_t>(std::min<std::uint64_t>(fifoTags_, 0xFFFFFFFFu)); break;
    case regLinkRate: value = static_cast<std::uint32_t>(std::min(linkRate_, 4294967295.0)); break;
    case regRisingMask:
    case regRisingMask + 1:
    case regFallingMask:
    case regFallingMask + 1: value = masks_[offset - regRisingMask]; break;
    case regTagsSent: value = static_cast<std::uint32_t>(fifo_.sent()); break;
    case regTagsSent + 1: value = static_cast<std::uint32_t>(fifo_.sent() >> 32); break;
    case regTagsLost: value = static_cast<std::uint32_t>(fifo_.lost()); break;
    case regTagsLost + 1: value = static_cast<std::uint32_t>(fifo_.lost() >> 32); break;
    case regTagUnitFs: value = tagUnitFs_; break;
    default: value = 0; break;
    }
    return Status::ok;
}

Status TimeTaggerModule::canWrite(std::uint32_t offset) const
{
    return offset == regControl || (offset >= regRisingMask && offset <= regFallingMask + 1) ? Status::ok
                                                                                            : Status::slaveError;
}

void TimeTaggerModule::write(std::uint32_t offset, std::uint32_t value, std::int64_t now)
{
    if (offset >= regRisingMask && offset <= regFallingMask + 1) {
        // Channels the board does not have stay off.
        const std::uint32_t word = offset - regRisingMask;
        const std::uint32_t firstChannel = (word % 2) * 32;
        std::uint32_t allowed = 0;
        for (std::uint32_t b = 0; b < 32; ++b)
            if (firstChannel + b < channels_)
                allowed |= 1u << b;
        masks_[word] = value & allowed;
        if (reader_)
            reader_->select(selection());
        return;
    }
    if (offset != regControl)
        return;
    const bool enable = (value & controlEnable) != 0;
    if (enable) {
        // A fresh capture: empty FIFO, counts from zero, events from now on.
        fifo_.reset(now);
        reader_ = engine_.openReader(selection(), engine_.toUnits(now));
        overrunReported_ = 0;
        std::fill(std::begin(overrunSeen_), std::end(overrunSeen_), 0);
        enabled_ = true;
        stopping_ = false;
        lastService_ = now;
    } else if (enabled_) {
        enabled_ = false;
        stopping_ = true;
    }
}

void TimeTaggerModule::pull(std::int64_t now, Outbox &out)
{
    if (!reader_)
        return;
    const std::uint64_t upTo = engine_.toUnits(now);
    const std::uint64_t lagLimit = engine_.toUnits(now - maxLagNs);
    if (reader_->position() < lagLimit) {
        const std::uint64_t from = reader_->position();
        std::fill(skipped_.begin(), skipped_.end(), 0);
        reader_->count(lagLimit, skipped_.data());
        for (std::uint32_t c = 0; c < channels_ && c < tagwire::maxChannels; ++c)
            fifo_.dropped(static_cast<std::uint8_t>(c), skipped_[c], from);
        reportOverrun(from);
    }
    for (;;) {
        const std::uint64_t from = reader_->position();
        const std::size_t n = reader_->read(upTo, events_.data(), events_.size());
        reportOverrun(from);
        for (std::size_t i = 0; i < n; ++i) {
            const Event &e = events_[i];
            // The link's timing needs no better than a nanosecond; the exact conversion would
            // cost more than the rest of a tag's way.
            fifo_.offer({e.time, static_cast<std::uint8_t>(e.channel), static_cast<std::uint8_t>(e.edge)},
                        static_cast<std::int64_t>(static_cast<double>(e.time) * nsPerUnit_), out);
        }
        if (n < events_.size())
            break;
    }
}

void TimeTaggerModule::reportOverrun(std::uint64_t from)
{
    // Events the engine let go before this module read them are lost tags too.
    if (reader_->overrun() == overrunReported_)
        return;
    overrunReported_ = reader_->overrun();
    for (std::uint32_t c = 0; c < channels_ && c < tagwire::maxChannels; ++c) {
        const std::uint64_t missed = reader_->overrun(c) - overrunSeen_[c];
        overrunSeen_[c] += missed;
        fifo_.dropped(static_cast<std::uint8_t>(c), missed, from);
    }
}

void TimeTaggerModule::service(std::int64_t now, Outbox &out)
{
    if (stopping_)
        flush(now, out);
    if (!enabled_)
        return;
    pull(now, out);
    fifo_.advance(now, out, true);
    lastService_ = now;
}

void TimeTaggerModule::flush(std::int64_t now, Outbox &out)
{
    if (!stopping_)
        return;
    // Stopped: the events up to the stop, then all the FIFO holds, before the answer.
    pull(now, out);
    fifo_.drainAll(out);
    reader_.reset();
    stopping_ = false;
}

void TimeTaggerModule::hostDetached()
{
    enabled_ = false;
    stopping_ = false;
    reader_.reset();
}

} // namespace kestrane
