#pragma once
// The signal model's random numbers: xoshiro256+ seeded through splitmix64. Fast enough to
// draw one number per event at tens of millions of events per second, and the same sequence
// on every platform for a seed, which the standard distributions do not promise.
//
// Exponential and normal numbers come from ziggurats (256 layers of equal area under the
// density; see ziggurat.h): about 99 % of draws are one 64-bit number, a table look-up, a
// multiplication and a comparison. The distributions are exact, not approximated; the
// logarithm is only needed for the rare draws in the tail or a wedge.

#include <cmath>
#include <cstdint>

#include "ziggurat.h"

namespace kestrane {

class Random {
public:
    // One independent stream per (seed, stream) pair.
    Random(std::uint64_t seed, std::uint64_t stream)
    {
        std::uint64_t x = seed ^ (stream * 0xD1B54A32D192ED03ull);
        for (auto &w : s_)
            w = splitmix(x);
    }

    std::uint64_t next()
    {
        const std::uint64_t result = s_[0] + s_[3];
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = (s_[3] << 45) | (s_[3] >> 19);
        return result;
    }

    // Uniform in (0, 1]: never 0, so its logarithm is finite.
    double uniform() { return static_cast<double>((next() >> 11) + 1) * 0x1.0p-53; }

    // Exponential with mean 1.
    double exponential()
    {
        // The low byte picks the layer, the other 56 bits place the point in it: the two never
        // share bits, so the layer and the value are independent.
        const std::uint64_t u = next();
        const unsigned i = static_cast<unsigned>(u & 0xFF);
        const std::uint64_t j = u >> 8;
        if (j < exponential_->inner[i])
            return static_cast<double>(static_cast<std::int64_t>(j)) * exponential_->scale[i];
        return viaCopy(&Random::exponentialOutside, i, j);
    }

    // Standard normal.
    double normal()
    {
        // Low byte: layer; bit 8: sign; the 55 bits above: where in the layer.
        const std::uint64_t u = next();
        const unsigned i = static_cast<unsigned>(u & 0xFF);
        const std::uint64_t j = u >> 9;
        const double sign = (u & 0x100) ? -1.0 : 1.0;
        if (j < normal_->inner[i])
            return sign * static_cast<double>(static_cast<std::int64_t>(j)) * normal_->scale[i];
        return sign * viaCopy(&Random::normalOutside, i, j);
    }

private:
    static std::uint64_t splitmix(std::uint64_t &x)
    {
        std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // The rare draws go through a copy of the state: the address of a copy escapes into the
    // call, not this object's, so a caller that keeps a Random in a local keeps its state in
    // registers on the common path.
    double viaCopy(double (Random::*outside)(unsigned, std::uint64_t), unsigned layer, std::uint64_t j)
    {
        Random copy = *this;
        const double x = (copy.*outside)(layer, j);
        *this = copy;
        return x;
    }

    // The rare draws (about 1 %) outside the layers' inner rectangles: a wedge or the tail.
    double exponentialOutside(unsigned layer, std::uint64_t j);
    double normalOutside(unsigned layer, std::uint64_t j);

    std::uint64_t s_[4];
    const ZigguratTables *exponential_ = &ZigguratTables::exponential();
    const ZigguratTables *normal_ = &ZigguratTables::normal();
};

} // namespace kestrane
