#include "plateau.h"

#include <algorithm>
#include <cmath>

namespace kestrane {

Plateau findPlateau(const std::vector<std::uint64_t> &counts, const PlateauRules &rules)
{
    Plateau best;
    const std::size_t n = counts.size();
    for (std::size_t a = 0; a < n; ++a) {
        // Whatever starts here cannot beat the best already found.
        if (best.found && n - a <= best.last - best.first + 1)
            break;
        double sum = 0;
        std::uint64_t lo = counts[a], hi = counts[a];
        for (std::size_t b = a; b < n; ++b) {
            sum += static_cast<double>(counts[b]);
            lo = std::min(lo, counts[b]);
            hi = std::max(hi, counts[b]);
            const double mean = sum / static_cast<double>(b - a + 1);
            const double allowed = rules.sigmas * std::sqrt(std::max(mean, 1.0));
            if (static_cast<double>(hi) - mean > allowed || mean - static_cast<double>(lo) > allowed)
                break;
            const std::size_t width = b - a + 1;
            if (width >= rules.minSteps && mean >= rules.minMeanCounts &&
                (!best.found || width > best.last - best.first + 1)) {
                best = {true, a, b, mean};
            }
        }
    }
    return best;
}

} // namespace kestrane
