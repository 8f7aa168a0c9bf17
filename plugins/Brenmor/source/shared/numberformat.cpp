#include "numberformat.h"

#include <charconv>
#include <cmath>

namespace histfmt {

std::size_t formatG6(double x, char *out)
{
    // Same text as printf("%g") for every finite value: to_chars with a precision is defined
    // as printf with that precision in the C locale. Non-finite values are spelt as glibc does.
    if (std::isnan(x)) {
        const char *text = std::signbit(x) ? "-nan" : "nan";
        std::size_t n = 0;
        for (; text[n]; ++n)
            out[n] = text[n];
        return n;
    }
    const auto result = std::to_chars(out, out + maxChars, x, std::chars_format::general, 6);
    return std::size_t(result.ptr - out);
}

std::uint64_t countOf(double count)
{
    if (!(count > 0))
        return 0;
    if (count >= 18446744073709551616.0)
        return UINT64_MAX;
    return std::uint64_t(count);
}

std::size_t formatCount(double count, char *out)
{
    const auto result = std::to_chars(out, out + maxChars, countOf(count));
    return std::size_t(result.ptr - out);
}

void appendG6(std::string &out, double x)
{
    char buffer[maxChars];
    out.append(buffer, formatG6(x, buffer));
}

void appendCount(std::string &out, double count)
{
    char buffer[maxChars];
    out.append(buffer, formatCount(count, buffer));
}

} // namespace histfmt
