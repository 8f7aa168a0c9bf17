#include "countermodule.h"

#include <algorithm>

namespace kestrane {

CounterModule::CounterModule(std::uint32_t base, SignalModel &signals, bool inputLogic)
    : base_(base),
      signals_(signals),
      inputLogic_(inputLogic),
      sample_(1 + signals.profile().channels(), 0)
{
}

Status CounterModule::read(std::uint32_t offset, std::uint32_t &value)
{
    value = 0;
    switch (offset) {
    case regControl: value = control_; return Status::ok;
    case regIntegrationUs: value = integrationUs_; return Status::ok;
    case regChannels: value = signals_.profile().channels(); return Status::ok;
    case regInputLogic: value = inputLogic_ ? 1 : 0; return Status::ok;
    case regSampleNumber: value = sampleNumber_; return Status::ok;
    default: break;
    }
    if (offset >= regSample && offset < windowSize) {
        if (offset - regSample < sample_.size())
            value = sample_[offset - regSample];
        return Status::ok;
    }
    return offset < windowSize ? Status::ok : Status::decodeError;
}

Status CounterModule::canWrite(std::uint32_t offset) const
{
    if (offset == regControl || offset == regIntegrationUs)
        return Status::ok;
    return offset < windowSize ? Status::slaveError : Status::decodeError;
}

void CounterModule::write(std::uint32_t offset, std::uint32_t value, std::int64_t now)
{
    if (offset == regControl) {
        control_ = value & controlAutoPush;
    } else if (offset == regIntegrationUs) {
        integrationUs_ = std::clamp(value, minIntegrationUs, maxIntegrationUs);
        // A new integration time starts a fresh period, so no sample mixes two times.
        periodStart_ = now;
    }
}

void CounterModule::service(std::int64_t now, Outbox &out)
{
    const std::int64_t period = periodNs();
    if (now - periodStart_ > maxCatchUp * period)
        periodStart_ = now - maxCatchUp * period;
    while (now >= periodStart_ + period) {
        const std::int64_t end = periodStart_ + period;
        const auto counts = signals_.counts(periodStart_, end, !inputLogic_);
        sample_[0] = integrationUs_;
        std::copy(counts.begin(), counts.end(), sample_.begin() + 1);
        ++sampleNumber_;
        periodStart_ = end;
        if (control_ & controlAutoPush) {
            // An unsolicited read response: id with bit 31, the sample's address, the word
            // count, the sample, status "ok".
            std::vector<std::uint32_t> msg;
            msg.reserve(sample_.size() + 4);
            msg.push_back(0x80000000u | (sampleNumber_ & 0x7FFFFFFFu));
            msg.push_back(base_ + regSample);
            msg.push_back(static_cast<std::uint32_t>(sample_.size()));
            msg.insert(msg.end(), sample_.begin(), sample_.end());
            msg.push_back(static_cast<std::uint32_t>(Status::ok));
            out.emplace_back(1, std::move(msg));
        }
    }
}

} // namespace kestrane
