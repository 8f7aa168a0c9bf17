#pragma once
// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78, initial value and final complement
// 0xFFFFFFFF). The value is carried across buffers: extend(extend(0, a), b) equals the CRC of
// a followed by b. Pure functions, safe on any thread.
//
// Words are taken in memory order, so on this little-endian machine a 32-bit word contributes
// its least significant byte first, as the wire format requires.

#include <vetra/vetra_export.h>

#include <cstddef>
#include <cstdint>

namespace crc32c {

// The fastest path this processor offers (the SSE4.2 instruction when present).
VETRA_EXPORT std::uint32_t extend(std::uint32_t crc, const void *data, std::size_t size) noexcept;

// The 256-entry table path, available everywhere; always equal to extend().
VETRA_EXPORT std::uint32_t extend_table(std::uint32_t crc, const void *data, std::size_t size) noexcept;

// True when extend() uses the processor's CRC-32C instruction.
VETRA_EXPORT bool hardware_available() noexcept;

// The instruction path itself; only call it when hardware_available() is true.
VETRA_EXPORT std::uint32_t extend_hardware(std::uint32_t crc, const void *data, std::size_t size) noexcept;

inline std::uint32_t value(const void *data, std::size_t size) noexcept { return extend(0, data, size); }

inline std::uint32_t extend_words(std::uint32_t crc, const std::uint32_t *words, std::size_t count) noexcept
{
    return extend(crc, words, count * sizeof(std::uint32_t));
}

} // namespace crc32c
