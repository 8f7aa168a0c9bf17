#pragma once
// The TDC channel module: how many channels the converter has and how it measures time.

#include <vector>

#include "../module.h"
#include "kestrane/profile.h"

namespace kestrane {

class TdcChannelModule : public Module {
public:
    static constexpr std::uint32_t typeId = 0x0002;
    static constexpr std::uint32_t regChannels = 0x00;
    static constexpr std::uint32_t regCoarseBits = 0x01;
    static constexpr std::uint32_t regFineBits = 0x02;
    static constexpr std::uint32_t regTdcPeriodFs = 0x03;
    static constexpr std::uint32_t regMinBinWidthFs = 0x04;
    static constexpr std::uint32_t regPeriods = 0x10;
    static constexpr std::uint32_t windowSize = 0x100;

    explicit TdcChannelModule(const Profile &profile);

    std::uint32_t typeID() const override { return typeId; }
    ModuleVersion hardwareVersion() const override { return {2, 1, 0}; }
    ModuleVersion softwareVersion() const override { return {2, 4, 1}; }
    std::uint32_t size() const override { return windowSize; }

    Status read(std::uint32_t offset, std::uint32_t &value) override;
    Status canWrite(std::uint32_t offset) const override;
    void write(std::uint32_t, std::uint32_t, std::int64_t) override {}

private:
    std::uint32_t channels_;
    std::uint32_t coarseBits_;
    std::uint32_t fineBits_;
    std::uint32_t tdcPeriodFs_;
    std::uint32_t minBinWidthFs_;
    std::vector<std::uint64_t> periods_;
};

} // namespace kestrane
