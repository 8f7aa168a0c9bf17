#pragma once
// Errors of the library interface ("Vetra" category).

#include <system_error>

#include "vetra_export.h"

enum class vetraError : int {
    no_errors = 0,
    no_such_device = 1,
    device_disconnected = 2,
    address_already_registered = 3,
    address_not_registered = 4,
    // A callback of the library's user threw; the library caught it and went on.
    callback_threw = 5,
};

namespace std {
template <>
struct is_error_code_enum<vetraError> : true_type {};
} // namespace std

VETRA_EXPORT const std::error_category &vetra_category() noexcept;
VETRA_EXPORT std::error_code make_error_code(vetraError e) noexcept;
