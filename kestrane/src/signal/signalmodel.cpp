#include "kestrane/signalmodel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrane {

SignalModel::SignalModel(const Profile &profile, std::uint64_t seed)
    : profile_(profile), rng_(seed)
{
}

std::uint64_t SignalModel::poisson(double mean)
{
    if (!(mean > 0))
        return 0;
    // std::poisson_distribution is exact but slow to set up for large means; beyond a million
    // the normal approximation is indistinguishable at the counter's resolution.
    if (mean > 1e6) {
        std::normal_distribution<double> n(mean, std::sqrt(mean));
        return static_cast<std::uint64_t>(std::max(0.0, std::round(n(rng_))));
    }
    std::poisson_distribution<std::uint64_t> d(mean);
    return d(rng_);
}

std::uint64_t SignalModel::binomial(std::uint64_t n, double p)
{
    if (n == 0 || p <= 0)
        return 0;
    if (p >= 1)
        return n;
    std::binomial_distribution<std::uint64_t> d(n, p);
    return d(rng_);
}

std::vector<std::uint32_t> SignalModel::counts(std::int64_t t0, std::int64_t t1, bool processed)
{
    const std::uint32_t n = profile_.channels();
    std::vector<std::uint64_t> own(n, 0);
    if (t1 <= t0)
        return std::vector<std::uint32_t>(n, 0);
    const double seconds = static_cast<double>(t1 - t0) * 1e-9;

    if (profile_.syncPeriod > 0) {
        // Sync edges at k·period: counting them per window with ceil() makes the counts of
        // adjacent windows add up exactly, however the time is cut.
        const double period = profile_.syncPeriod * 1e9;
        const auto edges = [period](std::int64_t t) {
            return static_cast<std::int64_t>(std::ceil(static_cast<double>(t) / period));
        };
        own[0] = static_cast<std::uint64_t>(std::max<std::int64_t>(0, edges(t1) - edges(t0)));
    }
    for (std::uint32_t c = 1; c < n; ++c)
        own[c] = poisson(profile_.rates[c - 1] * seconds);

    std::vector<std::uint64_t> total = own;
    for (const auto &pair : profile_.pairs)
        total[pair.to] += binomial(own[pair.from], pair.fraction);

    std::vector<std::uint32_t> out(n);
    for (std::uint32_t c = 0; c < n; ++c) {
        std::uint64_t v = total[c];
        if (processed && profile_.deadTime > 0 && c != 0) {
            // A non-paralysable dead time keeps each event with probability 1/(1 + r·τ).
            const double rate = profile_.inputRate(c);
            v = binomial(v, 1.0 / (1.0 + rate * profile_.deadTime));
        }
        out[c] = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(v, std::numeric_limits<std::uint32_t>::max()));
    }
    return out;
}

} // namespace kestrane
