#include "tdcchannelmodule.h"

#include <cmath>

namespace kestrane {

TdcChannelModule::TdcChannelModule(const Profile &profile)
    : channels_(profile.channels()),
      coarseBits_(profile.coarseBits),
      fineBits_(profile.fineBits),
      tdcPeriodFs_(static_cast<std::uint32_t>(std::llround(profile.tdcPeriod * 1e15))),
      minBinWidthFs_(static_cast<std::uint32_t>(std::llround(profile.minBinWidth * 1e15))),
      periods_(profile.channels(), 0)
{
    // The sync channel is periodic, and so are the inputs of a periodic profile; periods are
    // given in the converter's finest unit.
    if (profile.syncPeriod > 0)
        periods_[0] = static_cast<std::uint64_t>(std::llround(profile.syncPeriod / profile.minBinWidth));
    if (profile.periodic)
        for (std::uint32_t c = 1; c < profile.channels(); ++c)
            if (profile.rates[c - 1] > 0)
                periods_[c] = static_cast<std::uint64_t>(std::llround(1.0 / (profile.rates[c - 1] * profile.minBinWidth)));
}

Status TdcChannelModule::read(std::uint32_t offset, std::uint32_t &value)
{
    value = 0;
    switch (offset) {
    case regChannels: value = channels_; return Status::ok;
    case regCoarseBits: value = coarseBits_; return Status::ok;
    case regFineBits: value = fineBits_; return Status::ok;
    case regTdcPeriodFs: value = tdcPeriodFs_; return Status::ok;
    case regMinBinWidthFs: value = minBinWidthFs_; return Status::ok;
    default: break;
    }
    if (offset >= regPeriods && offset < windowSize) {
        const std::uint32_t channel = (offset - regPeriods) / 2;
        if (channel < periods_.size()) {
            const std::uint64_t p = periods_[channel];
            value = (offset - regPeriods) % 2 == 0 ? static_cast<std::uint32_t>(p)
                                                   : static_cast<std::uint32_t>(p >> 32);
        }
        return Status::ok;
    }
    return offset < windowSize ? Status::ok : Status::decodeError;
}

Status TdcChannelModule::canWrite(std::uint32_t offset) const
{
    return offset < windowSize ? Status::slaveError : Status::decodeError;
}

} // namespace kestrane
