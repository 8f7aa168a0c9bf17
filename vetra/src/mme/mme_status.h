#pragma once
// The board's status word of a memory response, as an error of the memory engine.

#include <vetra/mme_error.h>

#include <cstdint>

// The status word a half substitutes when no response arrived in time.
constexpr std::uint32_t mme_status_timed_out = 15;

mme_error mme_error_from_status(std::uint32_t status) noexcept;
