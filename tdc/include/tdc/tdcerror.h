#pragma once
// Errors reported by the device library; a category of its own ("tdc").

#include "tdc/tdcexport.h"
#include <system_error>

enum class tdcError {
    ok = 0,
    notOpen = 1,            // "Board not open"
    noSuchDevice = 2,       // "No such board"
    timeout = 3,            // "Board did not answer in time"
    disconnected = 4,       // "Board disconnected"
    badResponse = 5,        // "Board sent a response that makes no sense"
    invalidArgument = 6,    // "Invalid argument"
    unsupported = 7,        // "Not supported by this firmware"
};

TDC_EXPORT const std::error_category &tdc_category() noexcept;
TDC_EXPORT std::error_code make_error_code(tdcError e) noexcept;

namespace std {
template <> struct is_error_code_enum<tdcError> : true_type {};
} // namespace std
