#include "data/randomu64data.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>

namespace {

// Runs the event loop until the condition holds; the limit only guards against a hang.
bool waitUntil(const std::function<bool()> &condition, int limitMs = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

double total(const QVector<double> &v)
{
    return std::accumulate(v.begin(), v.end(), 0.0);
}

struct Moments
{
    double mean = 0.0;
    double spread = 0.0;
};

Moments histogramMoments(const QVector<double> &counts)
{
    const double n = total(counts);
    Moments m;
    for (int i = 0; i < counts.size(); ++i)
        m.mean += i * counts[i] / n;
    for (int i = 0; i < counts.size(); ++i)
        m.spread += (i - m.mean) * (i - m.mean) * counts[i] / n;
    m.spread = std::sqrt(m.spread);
    return m;
}

TEST(RandomU64Data, NormalHistogramHasTheExpectedShape)
{
    RandomU64Data source;
    source.setRunning(false);
    EXPECT_EQ(source.type(), QStringLiteral("normal"));
    // A type change starts afresh and generates once.
    source.setType("white");
    source.setType("normal");
    const QVector<double> counts = source.data();
    ASSERT_EQ(counts.size(), 1024);
    // Samples beyond four standard deviations are dropped; there are hardly any.
    EXPECT_LE(total(counts), 10000.0);
    EXPECT_GE(total(counts), 9980.0);
    const Moments m = histogramMoments(counts);
    EXPECT_NEAR(m.mean, 512.0, 8.0);
    EXPECT_NEAR(m.spread, 128.0, 8.0);
    for (double c : counts)
        EXPECT_EQ(c, std::floor(c));

    // Any other type adds nothing to the fresh, empty bins.
    source.setType("pink");
    EXPECT_EQ(source.data(), QVector<double>(1024, 0.0));
}

TEST(RandomU64Data, WhiteNoiseIsUniformBetweenZeroAndOneHundred)
{
    RandomU64Data source;
    source.setRunning(false);
    source.setNumBin(4096);
    source.setType("white");
    const QVector<double> values = source.data();
    ASSERT_EQ(values.size(), 4096);
    EXPECT_GE(*std::min_element(values.begin(), values.end()), 0.0);
    EXPECT_LT(*std::max_element(values.begin(), values.end()), 100.0);
    EXPECT_NEAR(total(values) / values.size(), 50.0, 3.0);
    const int low = std::count_if(values.begin(), values.end(), [](double v) { return v < 50.0; });
    EXPECT_NEAR(low, 2048, 250);
}

TEST(RandomU64Data, TicksAccumulateWhenAppendingAndStopWhenNotRunning)
{
    RandomU64Data source;
    source.setRunning(false);
    source.setNumBin(256);
    source.setInterval(1);
    int ticks = 0;
    QObject::connect(&source, &Filter1D::dataChanged, [&ticks] { ++ticks; });
    source.setRunning(true);
    ASSERT_TRUE(waitUntil([&] { return ticks >= 5; }));
    source.setRunning(false);
    const int seen = ticks;
    // About seen x 10 000 counts: every tick adds nearly all of its samples.
    EXPECT_LE(total(source.data()), seen * 10000.0);
    EXPECT_GE(total(source.data()), seen * 9900.0);

    // Stopped: nothing more arrives while the loop spins.
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(ticks, seen);

    // Without append every tick starts from empty bins.
    source.setAppend(false);
    source.setRunning(true);
    ASSERT_TRUE(waitUntil([&] { return ticks >= seen + 3; }));
    source.setRunning(false);
    EXPECT_LE(total(source.data()), 10000.0);
    EXPECT_GE(total(source.data()), 9900.0);
}

TEST(RandomU64Data, ChangingTheBinCountOrAreaNeverReadsPastTheData)
{
    RandomU64Data source;
    source.setRunning(false);
    source.setNumBin(16);
    source.setType("white");
    const QVector<double> before = source.data();

    // More bins while appending: the old bins keep accumulating, the new ones start empty.
    source.setNumBin(64);
    source.setInterval(1);
    int ticks = 0;
    QObject::connect(&source, &Filter1D::dataChanged, [&ticks] { ++ticks; });
    source.setRunning(true);
    ASSERT_TRUE(waitUntil([&] { return ticks >= 1; }));
    source.setRunning(false);
    const QVector<double> after = source.data();
    ASSERT_EQ(after.size(), 64);
    for (int i = 0; i < 16; ++i)
        EXPECT_GE(after[i], before[i]) << i;
    EXPECT_LT(*std::max_element(after.begin() + 16, after.end()), 100.0 * ticks);

    // Fewer bins: the surplus is dropped; a new area starts afresh.
    source.setNumBin(8);
    source.setArea(QRectF(0, 0, 8, 0));
    EXPECT_EQ(source.data().size(), 8);
    EXPECT_LT(*std::max_element(source.data().begin(), source.data().end()), 100.0);

    source.setNumBin(-1);
    EXPECT_EQ(source.numBin(), 8);
    source.setInterval(-5);
    EXPECT_EQ(source.interval(), 1);
}

} // namespace
