#include "random.h"

#include <cmath>

namespace kestrane {

double Random::exponentialOutside(unsigned i, std::uint64_t j)
{
    const ZigguratTables &z = *exponential_;
    for (;;) {
        const double x = static_cast<double>(j) * z.scale[i];
        if (j < z.inner[i])
            return x;
        if (i == 0) // the tail beyond r is exponential again, shifted
            return ZigguratTables::exponentialR - std::log(uniform());
        // The wedge between the layer's rectangle and the curve.
        if (z.f[i] + uniform() * (z.f[i + 1] - z.f[i]) < std::exp(-x))
            return x;
        const std::uint64_t u = next();
        i = static_cast<unsigned>(u & 0xFF);
        j = u >> 8;
    }
}

double Random::normalOutside(unsigned i, std::uint64_t j)
{
    // The sign is the caller's; a draw again takes a fresh one only for the magnitude, which
    // is independent of the sign.
    const ZigguratTables &z = *normal_;
    for (;;) {
        const double x = static_cast<double>(j) * z.scale[i];
        if (j < z.inner[i])
            return x;
        if (i == 0) {
            // Marsaglia's tail: exact for the normal beyond r.
            constexpr double r = ZigguratTables::normalR;
            double tx, ty;
            do {
                tx = -std::log(uniform()) / r;
                ty = -std::log(uniform());
            } while (ty + ty < tx * tx);
            return r + tx;
        }
        if (z.f[i] + uniform() * (z.f[i + 1] - z.f[i]) < std::exp(-0.5 * x * x))
            return x;
        const std::uint64_t u = next();
        i = static_cast<unsigned>(u & 0xFF);
        j = u >> 9;
    }
}

} // namespace kestrane
