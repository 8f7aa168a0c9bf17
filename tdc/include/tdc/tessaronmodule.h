#pragma once
// Base of every hardware module object. Module objects belong to the TDCBackend that
// created them and live until it is destroyed or loads modules again.

#include "tdc/tdcexport.h"
#include <cstdint>
#include <string>

struct TessaronVersion {
    std::uint8_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t patch = 0;
};

class TDC_EXPORT TessaronModule {
public:
    virtual ~TessaronModule() = default;
    TessaronModule(const TessaronModule &) = delete;
    TessaronModule &operator=(const TessaronModule &) = delete;

    virtual std::uint32_t typeID() const = 0;
    const TessaronVersion &hardwareVersion() const { return hw_; }
    const TessaronVersion &softwareVersion() const { return sw_; }
    // Base address and size of the module's register window on the board.
    std::uint32_t baseAddress() const { return base_; }
    std::uint32_t size() const { return size_; }

protected:
    TessaronModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw)
        : base_(base), size_(size), hw_(hw), sw_(sw) {}

private:
    std::uint32_t base_;
    std::uint32_t size_;
    TessaronVersion hw_;
    TessaronVersion sw_;
};
