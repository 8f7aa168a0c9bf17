#pragma once
// The channel-carrying TDC module: channel count, counter widths and timing of the converter.

#include "tdc/tdcexport.h"
#include <cstdint>
#include <vector>

#include "tdc/tessaronmodule.h"

class TDC_EXPORT TDCChannel {
public:
    // Which edges of a channel a module takes: 1 rising, 2 falling, 3 both.
    using edgeTrigger_type = std::uint8_t;

    explicit TDCChannel(std::uint64_t period = 0) : period_(period) {}
    // The channel's period in TDC counts.
    std::uint64_t getPeriod() const { return period_; }

private:
    std::uint64_t period_;
};

class TDC_EXPORT TDCModule : public TessaronModule {
public:
    static constexpr std::uint32_t TypeID = 0x0002;
    std::uint32_t typeID() const override { return TypeID; }

    struct Parameters {
        std::uint32_t numChannels = 0;   // sync channel included
        std::uint32_t coarseBits = 0;
        std::uint32_t fineBits = 0;
        double tdcPeriod = 0;            // seconds
        double minBinWidth = 0;          // seconds
        std::vector<std::uint64_t> channelPeriods;
    };

    TDCModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
              const Parameters &p);

    std::uint32_t numChannels() const { return p_.numChannels; }
    std::uint32_t coarseBits() const { return p_.coarseBits; }
    std::uint32_t fineBits() const { return p_.fineBits; }
    double tdcPeriod() const { return p_.tdcPeriod; }
    double minBinWidth() const { return p_.minBinWidth; }
    // Throws std::out_of_range for an index at or beyond numChannels().
    const TDCChannel &ch(std::uint32_t index) const { return channels_.at(index); }

private:
    Parameters p_;
    std::vector<TDCChannel> channels_;
};
