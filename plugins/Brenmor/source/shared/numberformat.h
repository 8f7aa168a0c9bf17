#pragma once
// Number formatting of the histogram text files: bin values as printf's "%g" (precision 6)
// and counts as unsigned decimal integers, without printf, locales or allocation, so that a
// time-trigger run can format hundreds of thousands of numbers per window.
// Pure functions; safe on any thread.

#include <cstddef>
#include <cstdint>
#include <string>

namespace histfmt {

// Room for any value of the two formats below.
constexpr std::size_t maxChars = 32;

// Writes x as "%g" with precision 6 would ("1e-11", "2.5e-10", "0.001", "nan", "-inf") into
// out (at least maxChars long); returns the number of characters written.
std::size_t formatG6(double x, char *out);
// The count as an unsigned 64-bit integer in decimal. Counts that are not numbers or are
// negative are written as 0 and counts at or beyond 2^64 as 2^64 − 1, never converted with
// undefined behaviour.
std::size_t formatCount(double count, char *out);
std::uint64_t countOf(double count);

void appendG6(std::string &out, double x);
void appendCount(std::string &out, double count);

} // namespace histfmt
