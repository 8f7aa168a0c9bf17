#pragma once
// Errors of the packet engine: what went wrong with a received packet. Reported through the
// engine's error handler together with whatever buffers were decoded.

#include <vetra/vetra_export.h>

#include <system_error>

enum class pte_packet_error : int {
    success = 0,
    bad_crc = 1,              // "Bad CRC value"
    malformed_multicobs = 2,  // "Malformed multiCOBS encoding"
    packet_too_short = 3,     // "Malformed packet, too short"
};

// The category named "Packet Transmission Engine".
VETRA_EXPORT const std::error_category &pte_category() noexcept;
VETRA_EXPORT std::error_code make_error_code(pte_packet_error e) noexcept;

namespace std {
template <>
struct is_error_code_enum<pte_packet_error> : true_type {};
} // namespace std
