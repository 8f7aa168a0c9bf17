// The signal model's draws: the ziggurats must give exactly the exponential and the normal
// distributions, tails and wedges included, or every rate and jitter of the virtual board is
// subtly off.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "signal/random.h"

using kestrane::Random;

namespace {

struct Moments {
    double mean = 0, variance = 0;
};

Moments moments(const std::vector<double> &xs)
{
    Moments m;
    for (double x : xs)
        m.mean += x;
    m.mean /= static_cast<double>(xs.size());
    for (double x : xs)
        m.variance += (x - m.mean) * (x - m.mean);
    m.variance /= static_cast<double>(xs.size() - 1);
    return m;
}

// Kolmogorov–Smirnov distance of the sample from the distribution `cdf`.
template <typename Cdf> double ksDistance(std::vector<double> xs, Cdf cdf)
{
    std::sort(xs.begin(), xs.end());
    const double n = static_cast<double>(xs.size());
    double d = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        const double f = cdf(xs[i]);
        d = std::max({d, f - static_cast<double>(i) / n, static_cast<double>(i + 1) / n - f});
    }
    return d;
}

// The count of a sample beyond `limit`, against what probability `p` predicts: within five
// standard deviations of the binomial.
void expectTail(const std::vector<double> &xs, double limit, double p, const char *what)
{
    const double n = static_cast<double>(xs.size());
    const double beyond = static_cast<double>(std::count_if(xs.begin(), xs.end(), [&](double x) { return x > limit; }));
    EXPECT_NEAR(beyond, n * p, 5 * std::sqrt(n * p * (1 - p)) + 1) << what;
}

constexpr std::size_t samples = 1'000'000;
// The critical KS distance at a significance of 0.001 is 1.95 / √n.
const double ksLimit = 1.95 / std::sqrt(static_cast<double>(samples));

} // namespace

TEST(Random, ExponentialHasMeanOneVarianceOneAndTheRightShapeAndTail)
{
    Random rng(7, 3);
    std::vector<double> xs(samples);
    for (double &x : xs)
        x = rng.exponential();
    ASSERT_GE(*std::min_element(xs.begin(), xs.end()), 0.0);
    const Moments m = moments(xs);
    // σ of the mean is 1/√n; of the variance √(8/n).
    EXPECT_NEAR(m.mean, 1.0, 5 / std::sqrt(double(samples)));
    EXPECT_NEAR(m.variance, 1.0, 5 * std::sqrt(8.0 / samples));
    EXPECT_LT(ksDistance(xs, [](double x) { return 1 - std::exp(-x); }), ksLimit);
    // The tail beyond the base layer, and a point inside the top wedges.
    expectTail(xs, 7.69711747013104972, std::exp(-7.69711747013104972), "beyond r");
    expectTail(xs, 10.0, std::exp(-10.0), "beyond 10");
    expectTail(xs, 0.02, std::exp(-0.02), "beyond 0.02");
    // Bins of 0.05 up to 5: a χ² test finds a layer or wedge of the wrong size that the KS
    // distance, dominated by the middle, would miss.
    std::vector<double> counts(100, 0);
    for (double x : xs)
        if (x < 5)
            counts[static_cast<std::size_t>(x / 0.05)] += 1;
    double chi2 = 0;
    for (std::size_t b = 0; b < counts.size(); ++b) {
        const double expected = samples * (std::exp(-0.05 * b) - std::exp(-0.05 * (b + 1)));
        chi2 += (counts[b] - expected) * (counts[b] - expected) / expected;
    }
    // 99 degrees of freedom: the 0.001 quantile is about 149.
    EXPECT_LT(chi2, 149.0);
}

TEST(Random, NormalHasMeanZeroVarianceOneAndTheRightShapeAndTails)
{
    Random rng(11, 4);
    std::vector<double> xs(samples);
    for (double &x : xs)
        x = rng.normal();
    const Moments m = moments(xs);
    EXPECT_NEAR(m.mean, 0.0, 5 / std::sqrt(double(samples)));
    // σ of the sample variance of a normal is √(2/n).
    EXPECT_NEAR(m.variance, 1.0, 5 * std::sqrt(2.0 / samples));
    const auto phi = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
    EXPECT_LT(ksDistance(xs, phi), ksLimit);
    // Both signs reach the tail beyond r, and the halves are even.
    const double r = 3.6541528853610088;
    expectTail(xs, r, 1 - phi(r), "above r");
    std::vector<double> negated(xs.size());
    std::transform(xs.begin(), xs.end(), negated.begin(), [](double x) { return -x; });
    expectTail(negated, r, 1 - phi(r), "below −r");
    expectTail(xs, 0.0, 0.5, "positive half");
    expectTail(xs, 4.5, 1 - phi(4.5), "above 4.5");
}

TEST(Random, SameSeedAndStreamGiveTheSameNumbersOthersDoNot)
{
    Random a(5, 1), b(5, 1), c(5, 2), d(6, 1);
    int sameC = 0, sameD = 0;
    for (int i = 0; i < 1000; ++i) {
        const double x = a.exponential(), y = b.exponential();
        ASSERT_EQ(x, y) << "draw " << i;
        sameC += c.exponential() == x;
        sameD += d.exponential() == x;
    }
    EXPECT_LT(sameC, 5);
    EXPECT_LT(sameD, 5);
}
