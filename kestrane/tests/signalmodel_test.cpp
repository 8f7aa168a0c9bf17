#include <gtest/gtest.h>

#include <cmath>

#include "kestrane/signalmodel.h"

using kestrane::Profile;
using kestrane::SignalModel;

namespace {
Profile twoInputs()
{
    Profile p;
    std::string error;
    kestrane::parseProfile(R"({"inputs": 3, "syncPeriod": 1e-4, "rates": [20000, 5000, 0],
        "pairs": [{"from": 1, "to": 3, "delay": 1e-8, "jitter": 1e-10, "fraction": 0.5}],
        "deadTime": 1e-5})",
                           p, error);
    return p;
}
constexpr std::int64_t second = 1000000000;
} // namespace

TEST(SignalModel, SameSeedSameCounts)
{
    SignalModel a(twoInputs(), 5), b(twoInputs(), 5), c(twoInputs(), 6);
    const auto ca = a.counts(0, second, false);
    EXPECT_EQ(ca, b.counts(0, second, false));
    EXPECT_NE(ca, c.counts(0, second, false));
}

TEST(SignalModel, SyncCountsAddUpExactlyAcrossWindows)
{
    SignalModel m(twoInputs(), 1);
    std::uint64_t total = 0;
    // Windows of odd lengths that do not divide the period.
    std::int64_t t = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::int64_t next = t + 333333 + (i % 7) * 1111;
        total += m.counts(t, next, false)[0];
        t = next;
    }
    const std::uint64_t expected = static_cast<std::uint64_t>(std::ceil(t / 1e5));
    EXPECT_EQ(total, expected);
}

TEST(SignalModel, MeanRatesMatchTheProfileWithinStatisticalError)
{
    const Profile p = twoInputs();
    SignalModel m(p, 11);
    std::vector<double> sum(p.channels(), 0), sumProcessed(p.channels(), 0);
    const int windows = 200;
    const std::int64_t window = second / 10;
    for (int i = 0; i < windows; ++i) {
        const auto raw = m.counts(i * window, (i + 1) * window, false);
        const auto processed = m.counts(i * window, (i + 1) * window, true);
        for (std::size_t c = 0; c < raw.size(); ++c) {
            sum[c] += raw[c];
            sumProcessed[c] += processed[c];
        }
    }
    const double seconds = windows * 0.1;
    for (std::uint32_t c = 1; c < p.channels(); ++c) {
        const double expected = p.inputRate(c) * seconds;
        const double expectedProcessed = p.processedRate(c) * seconds;
        EXPECT_NEAR(sum[c], expected, 5 * std::sqrt(expected) + 1) << "channel " << c;
        EXPECT_NEAR(sumProcessed[c], expectedProcessed, 5 * std::sqrt(expectedProcessed) + 1)
            << "channel " << c;
    }
    // Channel 3 has no events of its own: all it counts comes from channel 1.
    EXPECT_GT(sum[3], 0);
    EXPECT_LT(sumProcessed[1], sum[1]) << "the dead time must cost processed events";
}

TEST(SignalModel, EmptyOrBackwardsWindowsCountNothing)
{
    SignalModel m(twoInputs(), 1);
    for (auto v : m.counts(5, 5, false))
        EXPECT_EQ(v, 0u);
    for (auto v : m.counts(10, 5, true))
        EXPECT_EQ(v, 0u);
}
