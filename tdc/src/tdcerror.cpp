#include "tdc/tdcerror.h"

#include <string>

namespace {

class TdcCategory : public std::error_category {
public:
    const char *name() const noexcept override { return "tdc"; }
    std::string message(int value) const override
    {
        switch (static_cast<tdcError>(value)) {
        case tdcError::ok: return "No errors";
        case tdcError::notOpen: return "Board not open";
        case tdcError::noSuchDevice: return "No such board";
        case tdcError::timeout: return "Board did not answer in time";
        case tdcError::disconnected: return "Board disconnected";
        case tdcError::badResponse: return "Board sent a response that makes no sense";
        case tdcError::invalidArgument: return "Invalid argument";
        case tdcError::unsupported: return "Not supported by this firmware";
        case tdcError::noPlateau: return "No plateau found";
        case tdcError::fixedThreshold: return "The channel's threshold is fixed";
        case tdcError::busy: return "A tuning run is already going";
        }
        return "Unknown error";
    }
    std::error_condition default_error_condition(int value) const noexcept override
    {
        switch (static_cast<tdcError>(value)) {
        case tdcError::notOpen: return std::errc::not_connected;
        case tdcError::noSuchDevice: return std::errc::no_such_device;
        case tdcError::timeout: return std::errc::timed_out;
        case tdcError::disconnected: return std::errc::connection_aborted;
        case tdcError::badResponse: return std::errc::bad_message;
        case tdcError::invalidArgument: return std::errc::invalid_argument;
        case tdcError::unsupported: return std::errc::not_supported;
        case tdcError::busy: return std::errc::device_or_resource_busy;
        default: return std::error_condition(value, *this);
        }
    }
};

} // namespace

const std::error_category &tdc_category() noexcept
{
    static const TdcCategory category;
    return category;
}

std::error_code make_error_code(tdcError e) noexcept
{
    return {static_cast<int>(e), tdc_category()};
}
