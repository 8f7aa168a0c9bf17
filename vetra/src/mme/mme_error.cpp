#include <vetra/mme_error.h>

#include "mme/mme_status.h"

#include <string>

namespace {

class mme_error_category : public std::error_category {
public:
    const char *name() const noexcept override { return "Memory Management Engine"; }

    std::string message(int value) const override
    {
        switch (value) {
        case 0: return "No errors";
        case 1: return "AXI DataMover internal error";
        case 2: return "AXI decode error";
        case 3: return "AXI slave error";
        case 4: return "AXI decode and slave error";
        case 5: return "Timed out, no response received";
        default: return "Unknown error";
        }
    }

    std::error_condition default_error_condition(int value) const noexcept override
    {
        switch (value) {
        case 1: return std::errc::io_error;
        case 2: return std::errc::bad_address;
        case 3: return std::errc::protocol_error;
        case 4: return std::errc::bad_address;
        case 5: return std::errc::timed_out;
        default: return std::error_condition(value, *this);
        }
    }
};

} // namespace

const std::error_category &mme_category() noexcept
{
    static const mme_error_category category;
    return category;
}

std::error_code make_error_code(mme_error e) noexcept
{
    return std::error_code(static_cast<int>(e), mme_category());
}

mme_error mme_error_from_status(std::uint32_t status) noexcept
{
    switch (status) {
    case 8: return mme_error::no_errors;
    case 1:
    case 3:
    case 5:
    case 7: return mme_error::axi_internal_error;
    case 2: return mme_error::axi_decode_error;
    case 4: return mme_error::axi_slave_error;
    case 6: return mme_error::axi_decode_and_slave_error;
    case 15: return mme_error::timed_out;
    default: return mme_error::unknown_error;
    }
}
