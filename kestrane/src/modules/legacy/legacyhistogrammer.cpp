#include "legacyhistogrammer.h"

#include <algorithm>

namespace kestrane {

namespace {
constexpr std::uint32_t channelMask = 0xFFFF;
constexpr std::uint32_t edgeShift = 16;

std::uint32_t normaliseChannel(std::uint32_t value)
{
    std::uint32_t edge = (value >> edgeShift) & 3;
    if (edge == 0)
        edge = 1;
    return (value & channelMask) | (edge << edgeShift);
}
} // namespace

LegacyHistogrammer::LegacyHistogrammer(std::uint32_t base, std::uint32_t channels, std::uint32_t coarseBits,
                                       std::uint32_t fineBits, std::uint32_t minBinWidthFs, EventReader events,
                                       Release release)
    : base_(base),
      channels_(channels),
      stampBits_(std::min<unsigned>(coarseBits + fineBits + overflowBits, 63)),
      minBinWidthFs_(minBinWidthFs),
      events_(std::move(events)),
      release_(std::move(release)),
      binner_(addrWidth, dataWidth, stampBits_)
{
}

Status LegacyHistogrammer::read(std::uint32_t offset, std::uint32_t &value)
{
    value = 0;
    if (offset >= windowSize)
        return Status::decodeError;
    if (offset >= regBins) {
        const auto &bins = binner_.bins();
        if (offset - regBins < bins.size())
            value = bins[offset - regBins];
        return Status::ok;
    }
    switch (offset) {
    case regAddrWidth: value = addrWidth; break;
    case regDataWidth: value = dataWidth; break;
    case regOverflowBits: value = overflowBits; break;
    case regStampBits: value = stampBits_; break;
    case regMinBinWidthFs: value = minBinWidthFs_; break;
    case regControl: value = control_; break;
    case regBitTrunc: value = binner_.bitTrunc(); break;
    case regOffsetLow: value = static_cast<std::uint32_t>(binner_.offset()); break;
    case regOffsetHigh: value = static_cast<std::uint32_t>(binner_.offset() >> 32); break;
    case regReference: value = reference_; break;
    case regMeasurement: value = measurement_; break;
    case regTriggerLow: value = static_cast<std::uint32_t>(triggerUs_); break;
    case regTriggerHigh: value = static_cast<std::uint32_t>(triggerUs_ >> 32); break;
    case regStatus: value = (running() ? statusRunning : 0) | (windowEnded_ ? statusWindowEnded : 0); break;
    case regWindows: value = windows_; break;
    case regPushes: value = pushes_; break;
    case regChannels: value = channels_; break;
    default: break;
    }
    return Status::ok;
}

Status LegacyHistogrammer::canWrite(std::uint32_t offset) const
{
    switch (offset) {
    case regControl:
    case regCommand:
    case regBitTrunc:
    case regOffsetLow:
    case regOffsetHigh:
    case regReference:
    case regMeasurement:
    case regTriggerLow:
    case regTriggerHigh:
        return Status::ok;
    default:
        return offset < windowSize ? Status::slaveError : Status::decodeError;
    }
}

void LegacyHistogrammer::write(std::uint32_t offset, std::uint32_t value, std::int64_t now)
{
    // Events before the change were measured with the old settings.
    catchUp(now);
    switch (offset) {
    case regControl: {
        const std::uint32_t before = control_;
        const std::uint32_t mask = (value >> controlWriteShift) & (controlRun | controlAutoPush | controlTrigger);
        const std::uint32_t next = (before & ~mask) | (value & mask);
        control_ = (control_ & controlRun) | (next & ~controlRun);
        if ((next & controlAutoPush) && !(before & controlAutoPush))
            nextAutoPush_ = now + autoPushPeriodNs;
        if ((next & controlRun) != (before & controlRun)) {
            setRunning((next & controlRun) != 0, now);
        } else if (running() && (next & controlTrigger) && !(before & controlTrigger)) {
            // Arming the trigger of a running histogram begins a window now.
            binner_.clear();
            windowEnded_ = 0;
            windowEnd_ = now + static_cast<std::int64_t>(triggerUs_) * 1000;
        } else if (!(next & controlTrigger)) {
            windowEnd_ = never;
        }
        break;
    }
    case regCommand:
        if (value & commandClear)
            binner_.clear();
        if (value & commandPush)
            pushOwed_ = true;
        break;
    case regBitTrunc:
        binner_.setBitTrunc(std::min<unsigned>(value, maxBitTrunc()));
        break;
    case regOffsetLow:
    case regOffsetHigh: {
        std::uint64_t o = binner_.offset();
        if (offset == regOffsetLow)
            o = (o & 0xFFFFFFFF00000000ull) | value;
        else
            o = (o & 0xFFFFFFFFull) | (std::uint64_t(value) << 32);
        binner_.setOffset(std::min<std::uint64_t>(o, (std::uint64_t(1) << stampBits_) - 1));
        break;
    }
    case regReference:
        reference_ = normaliseChannel(value);
        binner_.dropStart();
        break;
    case regMeasurement:
        measurement_ = normaliseChannel(value);
        binner_.dropStart();
        break;
    case regTriggerLow:
        triggerUs_ = (triggerUs_ & 0xFFFFFFFF00000000ull) | value;
        break;
    case regTriggerHigh:
        triggerUs_ = (triggerUs_ & 0xFFFFFFFFull) | (std::uint64_t(value) << 32);
        break;
    default:
        break;
    }
}

void LegacyHistogrammer::setRunning(bool run, std::int64_t now)
{
    statusOwed_ = true;
    if (!run) {
        stopped();
        return;
    }
    control_ |= controlRun;
    countedUpTo_ = now;
    binner_.dropStart();
    scratch_.clear();
    events_(now, now, reference_ & channelMask, reference_ >> edgeShift, measurement_ & channelMask,
            measurement_ >> edgeShift, scratch_);
    windowEnded_ = 0;
    if (control_ & controlAutoPush)
        nextAutoPush_ = now + autoPushPeriodNs;
    if (control_ & controlTrigger) {
        binner_.clear();
        windowEnd_ = now + static_cast<std::int64_t>(triggerUs_) * 1000;
    }
}

void LegacyHistogrammer::stopped()
{
    control_ &= ~controlRun;
    windowEnd_ = never;
    if (release_)
        release_();
}

void LegacyHistogrammer::catchUp(std::int64_t now)
{
    if (!running())
        return;
    const std::int64_t end = std::min(now, windowEnd_);
    if (end <= countedUpTo_)
        return;
    if (end - countedUpTo_ > maxCatchUpNs) {
        countedUpTo_ = end - maxCatchUpNs;
        binner_.dropStart();
    }
    const std::uint32_t refChannel = reference_ & channelMask;
    const std::uint32_t refEdges = reference_ >> edgeShift;
    const std::uint32_t measChannel = measurement_ & channelMask;
    const std::uint32_t measEdges = measurement_ >> edgeShift;
    scratch_.clear();
    if (refChannel < channels_ || measChannel < channels_)
        events_(countedUpTo_, end, refChannel, refEdges, measChannel, measEdges, scratch_);
    for (const auto &e : scratch_) {
        const bool isRef = e.channel == refChannel && (e.edge & refEdges);
        const bool isMeas = e.channel == measChannel && (e.edge & measEdges);
        if (isRef || isMeas)
            binner_.event(e.time, isRef, isMeas);
    }
    countedUpTo_ = end;
}

void LegacyHistogrammer::pushBins(Outbox &out)
{
    const auto &bins = binner_.bins();
    ++pushes_;
    std::vector<std::uint32_t> msg;
    msg.reserve(bins.size() + 4);
    msg.push_back(0x80000000u | (pushes_ & 0x7FFFFFFFu));
    msg.push_back(base_ + regBins);
    msg.push_back(static_cast<std::uint32_t>(bins.size()));
    msg.insert(msg.end(), bins.begin(), bins.end());
    msg.push_back(static_cast<std::uint32_t>(Status::ok));
    out.emplace_back(1, std::move(msg));
}

void LegacyHistogrammer::service(std::int64_t now, Outbox &out)
{
    catchUp(now);
    if (running() && now >= windowEnd_) {
        stopped();
        windowEnded_ = 1;
        ++windows_;
        statusOwed_ = true;
        pushOwed_ = true;
    }
    if (running() && (control_ & controlAutoPush) && now >= nextAutoPush_) {
        pushOwed_ = true;
        nextAutoPush_ += autoPushPeriodNs;
        if (nextAutoPush_ <= now)
            nextAutoPush_ = now + autoPushPeriodNs;
    }
    if (pushOwed_) {
        pushOwed_ = false;
        pushBins(out);
    }
    if (statusOwed_) {
        statusOwed_ = false;
        std::uint32_t status = 0;
        read(regStatus, status);
        out.push_back({1, {0x80000000u | (pushes_ & 0x7FFFFFFFu), base_ + regStatus, 1, status,
                           static_cast<std::uint32_t>(Status::ok)}});
    }
}

std::int64_t LegacyHistogrammer::nextDue() const
{
    if (pushOwed_ || statusOwed_)
        return 0;
    if (!running())
        return never;
    std::int64_t due = std::min(windowEnd_, countedUpTo_ + catchUpPeriodNs);
    if (control_ & controlAutoPush)
        due = std::min(due, nextAutoPush_);
    return due;
}

} // namespace kestrane
