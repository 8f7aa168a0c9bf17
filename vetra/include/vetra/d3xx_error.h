#pragma once
// Errors of the FT60x transport: the D3XX status values, in the "FTD3XX" category.

#include <system_error>

#include "vetra_export.h"

enum class d3xx_error : int {
    ok = 0,
    invalid_handle = 1,
    device_not_found = 2,
    device_not_opened = 3,
    io_error = 4,
    invalid_parameter = 6,
    not_supported = 17,
    timeout = 19,           // condition std::errc::stream_timeout
    operation_aborted = 20, // condition std::errc::operation_canceled
    busy = 27,
    device_not_connected = 30, // the link-lost code of the FT60x transport
    other_error = 32,
};

namespace std {
template <>
struct is_error_code_enum<d3xx_error> : true_type {};
} // namespace std

VETRA_EXPORT const std::error_category &d3xx_category() noexcept;
VETRA_EXPORT std::error_code make_error_code(d3xx_error e) noexcept;
// A raw status value as returned by the FT_ functions.
VETRA_EXPORT std::error_code make_d3xx_error_code(unsigned long status) noexcept;
