#pragma once
// Finding the plateau of a threshold sweep: the widest run of adjacent steps whose counts
// are one flat rate within their Poisson error. Below it the baseline noise makes the counts
// climb steeply (the noise wall); above it pulses start to fall below the threshold (the
// pulse-height edge) until nothing is counted. The counts of no pulses at all are flat too,
// so a plateau must also carry a real rate.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrane {

struct Plateau {
    bool found = false;
    std::size_t first = 0; // step indices, inclusive
    std::size_t last = 0;
    double mean = 0;       // counts per step on the plateau
};

struct PlateauRules {
    double sigmas = 4;          // how far a step may lie from the mean, in Poisson deviations
    double minMeanCounts = 10;  // below this a flat run is "nothing counted"
    std::size_t minSteps = 3;
};

Plateau findPlateau(const std::vector<std::uint64_t> &counts, const PlateauRules &rules = {});

} // namespace kestrane
