#pragma once
// The signal model's random numbers: xoshiro256+ seeded through splitmix64. Fast enough to
// draw one number per event at tens of millions of events per second, and the same sequence
// on every platform for a seed, which the standard distributions do not promise.

#include <cmath>
#include <cstdint>

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
    double exponential() { return -std::log(uniform()); }
    // Standard normal (Box–Muller; the second value is dropped, these draws are rare).
    double normal()
    {
        const double r = std::sqrt(-2.0 * std::log(uniform()));
        return r * std::cos(6.283185307179586 * uniform());
    }

private:
    static std::uint64_t splitmix(std::uint64_t &x)
    {
        std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    std::uint64_t s_[4];
};

} // namespace kestrane
