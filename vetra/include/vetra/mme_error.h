#pragma once
// Errors of the memory engine: the board's status word of a response, and the local
// time-out, as error codes of the "Memory Management Engine" category.

#include <system_error>

#include "vetra_export.h"

enum class mme_error : int {
    no_errors = 0,
    axi_internal_error = 1,
    axi_decode_error = 2,
    axi_slave_error = 3,
    axi_decode_and_slave_error = 4,
    timed_out = 5,
    unknown_error = 6,
};

namespace std {
template <>
struct is_error_code_enum<mme_error> : true_type {};
} // namespace std

VETRA_EXPORT const std::error_category &mme_category() noexcept;
VETRA_EXPORT std::error_code make_error_code(mme_error e) noexcept;
