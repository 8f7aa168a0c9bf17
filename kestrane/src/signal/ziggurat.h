#pragma once
// Tables of a 256-layer ziggurat (Marsaglia and Tsang, 2000) for a decreasing density on
// x ≥ 0: the exponential e^−x and the half-normal e^−x²/2.
//
// The area under the density is cut into 256 horizontal layers of equal area v. Layer 0 is
// the base: the rectangle [0, r] × [0, f(r)] plus the tail beyond r, treated as a rectangle of
// width v / f(r). Layer i ≥ 1 is the rectangle from x = 0 to x_i, between the heights f(x_i)
// and f(x_{i+1}), with x_1 = r and x_256 = 0. A draw picks a layer at random and a point x in
// its width; below x_{i+1} the point lies under the curve whatever its height (the fast path),
// otherwise the caller decides the wedge or the tail.

#include <cstdint>

namespace kestrane {

struct ZigguratTables {
    static constexpr int layers = 256;
    // r and v of the 256-layer tables (Marsaglia and Tsang).
    static constexpr double exponentialR = 7.69711747013104972;
    static constexpr double exponentialV = 3.949659822581572e-3;
    static constexpr double normalR = 3.6541528853610088;
    static constexpr double normalV = 4.92867323399e-3;

    // x = j · scale[i] for a j of `bits` random bits lands uniformly in layer i's width.
    double scale[layers];
    // j < inner[i] means x < x_{i+1}: under the curve at any height.
    std::uint64_t inner[layers];
    // f(x_i); f[0] = 0 for the base, f[256] = f(0) = 1.
    double f[layers + 1];

    static const ZigguratTables &exponential(); // 56 random bits per draw
    static const ZigguratTables &normal();      // 55 random bits per draw (one is the sign)
};

} // namespace kestrane
