#pragma once
// The signals at the board's inputs, drawn from a profile: the sync channel ticks with a fixed
// period, the inputs fire as Poisson processes, and correlated pairs pass a fraction of one
// channel's events on to another. Deterministic for a given seed and sequence of calls.
//
// Not thread-safe: the board calls it under its own mutex.

#include <cstdint>
#include <random>
#include <vector>

#include "kestrane/profile.h"

namespace kestrane {

class SignalModel {
public:
    SignalModel(const Profile &profile, std::uint64_t seed);

    // Events of every channel (sync first) in [t0, t1), times in nanoseconds since the board
    // started. `processed` applies the dead time of the event processing.
    std::vector<std::uint32_t> counts(std::int64_t t0, std::int64_t t1, bool processed);

    const Profile &profile() const { return profile_; }

private:
    std::uint64_t poisson(double mean);
    std::uint64_t binomial(std::uint64_t n, double p);

    Profile profile_;
    std::mt19937_64 rng_;
};

} // namespace kestrane
