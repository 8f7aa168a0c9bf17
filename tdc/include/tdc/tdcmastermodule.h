#pragma once
// The board's master module: firmware identity.

#include "tdc/tdcexport.h"
#include <cstdint>
#include <string>

#include "tdc/tessaronmodule.h"

class TDC_EXPORT TDCMasterModule : public TessaronModule {
public:
    static constexpr std::uint32_t TypeID = 0x0001;
    std::uint32_t typeID() const override { return TypeID; }

    // 100 ns units since 1970-01-01 UTC.
    std::int64_t compileTime() const { return compileTime_; }
    // "name;repo = …;SHA = …;branch = …"
    const std::string &firmwareTag() const { return tag_; }

    TDCMasterModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
                    std::int64_t compileTime, std::string tag)
        : TessaronModule(base, size, hw, sw), compileTime_(compileTime), tag_(std::move(tag)) {}

private:
    std::int64_t compileTime_;
    std::string tag_;
};
