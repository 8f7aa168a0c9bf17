#include "dacmodule.h"

#include <algorithm>
#include <cmath>

#include "plateau.h"

namespace kestrane {

namespace {
std::uint32_t microvolts(double volts)
{
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(volts * 1e6)));
}
} // namespace

DacModule::DacModule(const Config &config, Wiring wiring, std::int64_t now)
    : config_(config),
      wiring_(std::move(wiring)),
      maxCode_(static_cast<std::uint32_t>((std::uint64_t(1) << std::clamp(config.resolutionBits, 1u, 24u)) - 1)),
      channels_(std::min(config.channels, maxChannels))
{
    for (std::uint32_t c = 0; c < channels_.size(); ++c) {
        auto &ch = channels_[c];
        ch.fixed = c == 0;
        const double v = c < config_.initialVolts.size() ? config_.initialVolts[c] : 0.0;
        ch.code = code(v);
        apply(c, now);
    }
}

double DacModule::volts(std::uint32_t code) const
{
    return config_.minVolts + (config_.maxVolts - config_.minVolts) * static_cast<double>(code) / maxCode_;
}

std::uint32_t DacModule::code(double v) const
{
    const double span = config_.maxVolts - config_.minVolts;
    if (!(span > 0) || !std::isfinite(v))
        return 0;
    const double k = std::round((v - config_.minVolts) / span * maxCode_);
    return static_cast<std::uint32_t>(std::clamp(k, 0.0, static_cast<double>(maxCode_)));
}

void DacModule::apply(std::uint32_t channel, std::int64_t now)
{
    const auto &ch = channels_[channel];
    const double v = (ch.status & statusOutput) ? volts(ch.code) : 0.0;
    if (wiring_.setComparator)
        wiring_.setComparator(channel, v, (ch.status & statusInput) != 0, now);
}

Status DacModule::read(std::uint32_t offset, std::uint32_t &value)
{
    value = 0;
    if (offset >= windowSize)
        return Status::decodeError;
    if (offset >= regChannelBase) {
        const std::uint32_t c = (offset - regChannelBase) / channelWords;
        if (c >= channels_.size())
            return Status::ok;
        const auto &ch = channels_[c];
        switch ((offset - regChannelBase) % channelWords) {
        case chCode: value = ch.code; break;
        case chStatus: value = ch.status; break;
        case chKind: value = ch.fixed ? 0 : 1; break;
        case chTuneState: value = ch.tuneState; break;
        case chPlateauFirst: value = ch.plateauFirst; break;
        case chPlateauLast: value = ch.plateauLast; break;
        case chPlateauRate: value = ch.plateauRate; break;
        default: break;
        }
        return Status::ok;
    }
    switch (offset) {
    case regChannels: value = static_cast<std::uint32_t>(channels_.size()); break;
    case regResolution: value = std::clamp(config_.resolutionBits, 1u, 24u); break;
    case regMinMicrovolts: value = microvolts(config_.minVolts); break;
    case regMaxMicrovolts: value = microvolts(config_.maxVolts); break;
    case regTuneControl: value = tuning_ ? 1 : 0; break;
    case regSweepSteps: value = steps_; break;
    case regGateUs: value = gateUs_; break;
    case regTuneRuns: value = runs_; break;
    case regMaskLow: value = static_cast<std::uint32_t>(mask_); break;
    case regMaskHigh: value = static_cast<std::uint32_t>(mask_ >> 32); break;
    default: break;
    }
    return Status::ok;
}

Status DacModule::canWrite(std::uint32_t offset) const
{
    if (offset >= windowSize)
        return Status::decodeError;
    if (offset >= regChannelBase) {
        const std::uint32_t c = (offset - regChannelBase) / channelWords;
        const std::uint32_t word = (offset - regChannelBase) % channelWords;
        if (c < channels_.size() && ((word == chCode && !channels_[c].fixed) || word == chStatus))
            return Status::ok;
        return Status::slaveError;
    }
    switch (offset) {
    case regTuneControl:
    case regSweepSteps:
    case regGateUs:
    case regMaskLow:
    case regMaskHigh:
        return Status::ok;
    default:
        return Status::slaveError;
    }
}

void DacModule::write(std::uint32_t offset, std::uint32_t value, std::int64_t now)
{
    if (offset >= regChannelBase) {
        const std::uint32_t c = (offset - regChannelBase) / channelWords;
        const std::uint32_t word = (offset - regChannelBase) % channelWords;
        if (c >= channels_.size())
            return;
        if (word == chCode)
            channels_[c].code = std::min(value, maxCode_);
        else if (word == chStatus)
            channels_[c].status = value & (statusInput | statusOutput);
        apply(c, now);
        return;
    }
    switch (offset) {
    case regTuneControl:
        if (value == tuneStart && !tuning_)
            start(now);
        else if (value == tuneAbort && tuning_)
            abort(now);
        break;
    case regSweepSteps: steps_ = std::clamp(value, minSteps, maxSteps); break;
    case regGateUs: gateUs_ = std::clamp(value, minGateUs, maxGateUs); break;
    case regMaskLow: mask_ = (mask_ & 0xFFFFFFFF00000000ull) | value; break;
    case regMaskHigh: mask_ = (mask_ & 0xFFFFFFFFull) | (std::uint64_t(value) << 32); break;
    default: break;
    }
}

std::uint32_t DacModule::stepCode(std::uint32_t step) const
{
    return static_cast<std::uint32_t>(
        std::llround(static_cast<double>(step) * maxCode_ / static_cast<double>(runSteps_ - 1)));
}

void DacModule::start(std::int64_t now)
{
    runSteps_ = steps_;
    runGateUs_ = gateUs_;
    bool any = false;
    for (std::uint32_t c = 0; c < channels_.size(); ++c) {
        if (!(mask_ & (std::uint64_t(1) << c)))
            continue;
        auto &ch = channels_[c];
        if (ch.fixed) {
            ch.tuneState = fixed;
            continue;
        }
        ch.tuneState = sweeping;
        ch.codeBefore = ch.code;
        ch.counts.clear();
        ch.code = stepCode(0);
        apply(c, now);
        any = true;
    }
    if (!any) {
        ++runs_;
        return;
    }
    tuning_ = true;
    step_ = 0;
    stepStart_ = now;
    scratch_.assign(channels_.size(), 0);
    if (wiring_.rawCounts)
        wiring_.rawCounts(now, now, scratch_);
}

void DacModule::abort(std::int64_t now)
{
    for (std::uint32_t c = 0; c < channels_.size(); ++c) {
        auto &ch = channels_[c];
        if (ch.tuneState != sweeping)
            continue;
        ch.tuneState = aborted;
        ch.code = ch.codeBefore;
        apply(c, now);
    }
    tuning_ = false;
    ++runs_;
    if (wiring_.release)
        wiring_.release();
}

void DacModule::hostDetached()
{
    if (tuning_)
        abort(stepStart_);
}

void DacModule::finish(std::int64_t now)
{
    const double gateSeconds = runGateUs_ * 1e-6;
    for (std::uint32_t c = 0; c < channels_.size(); ++c) {
        auto &ch = channels_[c];
        if (ch.tuneState != sweeping)
            continue;
        const Plateau p = findPlateau(ch.counts);
        if (p.found) {
            ch.tuneState = done;
            ch.plateauFirst = stepCode(static_cast<std::uint32_t>(p.first));
            ch.plateauLast = stepCode(static_cast<std::uint32_t>(p.last));
            ch.plateauRate = static_cast<std::uint32_t>(std::lround(p.mean / gateSeconds));
            ch.code = (ch.plateauFirst + ch.plateauLast) / 2;
        } else {
            ch.tuneState = noPlateau;
            ch.code = ch.codeBefore;
        }
        apply(c, now);
    }
    tuning_ = false;
    ++runs_;
    if (wiring_.release)
        wiring_.release();
}

void DacModule::service(std::int64_t now, Outbox &)
{
    while (tuning_ && now >= stepStart_ + gateNs()) {
        const std::int64_t end = stepStart_ + gateNs();
        scratch_.assign(channels_.size(), 0);
        if (wiring_.rawCounts)
            wiring_.rawCounts(stepStart_, end, scratch_);
        for (std::uint32_t c = 0; c < channels_.size(); ++c)
            if (channels_[c].tuneState == sweeping)
                channels_[c].counts.push_back(c < scratch_.size() ? scratch_[c] : 0);
        ++step_;
        // The next step starts when this one is counted; a late service must not fold the
        // time it missed into one step.
        stepStart_ = std::max(end, now);
        if (step_ == runSteps_) {
            finish(stepStart_);
            break;
        }
        for (std::uint32_t c = 0; c < channels_.size(); ++c) {
            if (channels_[c].tuneState != sweeping)
                continue;
            channels_[c].code = stepCode(step_);
            apply(c, stepStart_);
        }
    }
}

} // namespace kestrane
