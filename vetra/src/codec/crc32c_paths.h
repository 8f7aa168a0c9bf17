#pragma once
// The CRC-32C paths behind crc32c::extend, named so the tests can hold each one against the
// table.

#include <cstddef>
#include <cstdint>

namespace crc32c::detail {

// True when the processor offers 512-bit carry-less multiplication (and SSE4.2).
bool folding_available() noexcept;

// Carry-less folding of 256-byte blocks, the SSE4.2 instruction for the rest. Only call it
// when folding_available() is true.
std::uint32_t extend_folding(std::uint32_t crc, const void *data, std::size_t size) noexcept;

} // namespace crc32c::detail
