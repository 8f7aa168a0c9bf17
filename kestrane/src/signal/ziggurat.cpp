#include "ziggurat.h"

#include <cmath>

namespace kestrane {

namespace {

// f and its inverse on x ≥ 0, with x_{256} = 0 forced: rounding must not leave a sliver
// of the top layer outside the curve.
template <typename F, typename Inverse>
ZigguratTables build(double r, double v, int bits, F f, Inverse inverse)
{
    ZigguratTables t{};
    const double m = std::ldexp(1.0, bits);
    double x[ZigguratTables::layers + 1];
    x[0] = v / f(r);
    x[1] = r;
    for (int i = 1; i < ZigguratTables::layers - 1; ++i)
        x[i + 1] = inverse(f(x[i]) + v / x[i]);
    x[ZigguratTables::layers] = 0;
    // The last computed edge (x_255) comes out positive for these r and v.
    for (int i = 0; i < ZigguratTables::layers; ++i) {
        t.scale[i] = x[i] / m;
        t.inner[i] = static_cast<std::uint64_t>(x[i + 1] / x[i] * m);
    }
    t.f[0] = 0;
    for (int i = 1; i <= ZigguratTables::layers; ++i)
        t.f[i] = f(x[i]);
    return t;
}

} // namespace

const ZigguratTables &ZigguratTables::exponential()
{
    static const ZigguratTables t = build(
        exponentialR, exponentialV, 56, [](double x) { return std::exp(-x); },
        [](double y) { return -std::log(y); });
    return t;
}

const ZigguratTables &ZigguratTables::normal()
{
    static const ZigguratTables t = build(
        normalR, normalV, 55, [](double x) { return std::exp(-0.5 * x * x); },
        [](double y) { return std::sqrt(-2.0 * std::log(y)); });
    return t;
}

} // namespace kestrane
