#pragma once
// The master module: the firmware's identity (compile time and tag) and a scratch register
// for link tests.

#include <string>

#include "../module.h"

namespace kestrane {

class MasterModule : public Module {
public:
    static constexpr std::uint32_t typeId = 0x0001;
    static constexpr std::uint32_t regCompileTimeLow = 0x00;
    static constexpr std::uint32_t regCompileTimeHigh = 0x01;
    static constexpr std::uint32_t regTagLength = 0x02;
    static constexpr std::uint32_t regScratch = 0x03;
    static constexpr std::uint32_t regTag = 0x20;
    static constexpr std::uint32_t windowSize = 0x100;
    static constexpr std::size_t maxTagBytes = (windowSize - regTag) * 4;

    // `compileTime` in 100 ns units since 1970-01-01 UTC; a longer tag is cut to maxTagBytes.
    MasterModule(std::int64_t compileTime, std::string tag);

    std::uint32_t typeID() const override { return typeId; }
    ModuleVersion hardwareVersion() const override { return {1, 0, 0}; }
    ModuleVersion softwareVersion() const override { return {1, 2, 0}; }
    std::uint32_t size() const override { return windowSize; }

    Status read(std::uint32_t offset, std::uint32_t &value) override;
    Status canWrite(std::uint32_t offset) const override;
    void write(std::uint32_t offset, std::uint32_t value, std::int64_t now) override;

private:
    std::int64_t compileTime_;
    std::string tag_;
    std::uint32_t scratch_ = 0;
};

} // namespace kestrane
