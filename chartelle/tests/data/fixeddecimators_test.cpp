#include "filters/fixeddecimator2d.h"
#include "filters/fixeddecimatoru64.h"
#include "filters/minimalwidth2d.h"
#include "filters/movingavarangeu64.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

QVector<double> pairs(std::initializer_list<double> values)
{
    return QVector<double>(values);
}

TEST(FixedDecimatorU64, KeepsTheMaximumOfEachGroupOfFour)
{
    FixedDecimatorU64 decimator;
    EXPECT_EQ(decimator.data(), QVector<double>(256, 0.0));
    decimator.setArea(QRectF(0, 0, 1024, 0));
    QVector<double> input(1024);
    for (int i = 0; i < input.size(); ++i)
        input[i] = (i * 7919) % 1000;
    decimator.setData(input);
    ASSERT_EQ(decimator.data().size(), 256);
    for (int j = 0; j < 256; ++j)
        EXPECT_EQ(decimator.data()[j], *std::max_element(input.begin() + 4 * j, input.begin() + 4 * j + 4)) << j;
}

TEST(FixedDecimatorU64, NeedsAnAreaAndDataAndStretchesShortInput)
{
    FixedDecimatorU64 decimator;
    int changes = 0;
    QObject::connect(&decimator, &Filter1D::dataChanged, [&changes] { ++changes; });
    decimator.setData({1, 2, 3});
    EXPECT_EQ(changes, 0);  // no area yet
    decimator.setArea(QRectF(0, 0, 3, 0));
    decimator.setData({});
    EXPECT_EQ(changes, 0);

    decimator.setNumPoint(6);
    decimator.setData({1, 5, 3});
    ASSERT_EQ(decimator.data().size(), 6);
    EXPECT_EQ(decimator.data(), (QVector<double>{1, 1, 5, 5, 3, 3}));
    decimator.setData({1, 5, 3});
    EXPECT_EQ(changes, 2);  // always passed on, even unchanged
}

TEST(FixedDecimatorU64, NumPointStaysBetweenOneAndTheParentsSize)
{
    Filter1D source;
    source.setArea(QRectF(0, 0, 8, 0));
    source.setData({1, 2, 3, 4, 5, 6, 7, 8});
    FixedDecimatorU64 decimator;
    int changes = 0;
    QObject::connect(&decimator, &FixedDecimatorU64::numPointChanged, [&changes] { ++changes; });
    source.addFilter(&decimator);

    decimator.setNumPoint(1000);
    EXPECT_EQ(decimator.numPoint(), 8);
    EXPECT_EQ(decimator.data(), (QVector<double>{1, 2, 3, 4, 5, 6, 7, 8}));
    decimator.setNumPoint(2);
    EXPECT_EQ(decimator.data(), (QVector<double>{4, 8}));
    decimator.setNumPoint(-3);
    EXPECT_EQ(decimator.numPoint(), 1);
    EXPECT_EQ(decimator.data(), (QVector<double>{8}));
    decimator.setNumPoint(0);
    EXPECT_EQ(changes, 3);
}

TEST(FixedDecimator2D, BucketsHoldTheMaximumOfThePairsTheyTouch)
{
    FixedDecimator2D decimator;
    decimator.setNumPoint(2);
    decimator.setArea(QRectF(0, 0, 4, 0));
    // Widths 1, 0.5, 1, 1.5: the third pair straddles the edge at 2 and counts in both
    // buckets; the peak of the second stays in the first bucket.
    decimator.setData(pairs({1, 3, 0.5, 9, 1, 2, 1.5, 4}));
    EXPECT_EQ(decimator.data(), pairs({2, 9, 2, 4}));

    // A pair across a bucket edge counts in both buckets.
    decimator.setData(pairs({1, 1, 2, 7, 1, 2}));
    EXPECT_EQ(decimator.data(), pairs({2, 7, 2, 7}));
}

TEST(FixedDecimator2D, InputEndingBeforeTheAreaStopsAtItsLastPair)
{
    FixedDecimator2D decimator;
    decimator.setNumPoint(8);
    decimator.setArea(QRectF(0, 0, 8, 0));
    // The widths cover only half of the area.
    decimator.setData(pairs({1, 5, 1, 6, 1, 7, 1, 8}));
    const QVector<double> out = decimator.data();
    ASSERT_EQ(out.size(), 16);
    EXPECT_EQ(out.mid(0, 8), pairs({1, 5, 1, 6, 1, 7, 1, 8}));
    for (int j = 4; j < 8; ++j) {
        EXPECT_EQ(out[2 * j], 1.0);
        EXPECT_EQ(out[2 * j + 1], 0.0) << j;
    }

    // A lone pair, and an odd element that is no pair at all.
    decimator.setData(pairs({0.5, 3}));
    EXPECT_EQ(decimator.data()[1], 3.0);
    EXPECT_EQ(decimator.data()[3], 0.0);
    int changes = 0;
    QObject::connect(&decimator, &Filter1D::dataChanged, [&changes] { ++changes; });
    decimator.setData({4.0});
    EXPECT_EQ(changes, 0);
}

TEST(FixedDecimator2D, NumPointReappliesTheParentsData)
{
    Filter1D source;
    source.setArea(QRectF(0, 0, 4, 0));
    source.setData(pairs({1, 1, 1, 2, 1, 3, 1, 4}));
    FixedDecimator2D decimator;
    decimator.setNumPoint(4);
    source.addFilter(&decimator);
    EXPECT_EQ(decimator.data(), pairs({1, 1, 1, 2, 1, 3, 1, 4}));
    decimator.setNumPoint(1);
    EXPECT_EQ(decimator.data(), pairs({4, 4}));
    decimator.setNumPoint(0);
    EXPECT_EQ(decimator.numPoint(), 1);
}

TEST(MovingAvarangeU64, MeansOfClampedWindows)
{
    MovingAvarangeU64 average;
    average.setDepth(1);
    average.setData({1, 2, 3, 4});
    EXPECT_EQ(average.data(), (QVector<double>{2, 3, 4, 4}));

    average.setDepth(3);
    average.setData({3, 6, 9});
    // n + 2 (d - 1) = 7 values; value i is the mean of v[i-1] .. v[i+1], clamped.
    const QVector<double> expected{(3 + 3 + 6) / 3.0, (3 + 6 + 9) / 3.0, (6 + 9 + 9) / 3.0, 9, 9, 9, 9};
    ASSERT_EQ(average.data().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(average.data()[i], expected[i], 1e-12) << i;

    int changes = 0;
    QObject::connect(&average, &Filter1D::dataChanged, [&changes] { ++changes; });
    average.setData({});
    EXPECT_EQ(changes, 0);
    average.setDepth(0);  // treated as a window of one sample
    average.setData({1, 2});
    EXPECT_EQ(average.data(), (QVector<double>{2, 2}));
}

TEST(MinimalWidth2D, MergesNarrowPairsIntoTheirMaximum)
{
    MinimalWidth2D merge;
    merge.setData(pairs({0.25, 1, 0.25, 5, 0.5, 2, 2, 3}));
    EXPECT_EQ(merge.data(), pairs({1, 5, 2, 3}));

    // A remainder wider than the merge width goes out whole; a short tail goes out last.
    merge.setData(pairs({0.5, 1, 3, 4, 0.25, 2}));
    EXPECT_EQ(merge.data(), pairs({1, 4, 2.5, 4, 0.25, 2}));

    // No merged pair is narrower than the merge width, except the last.
    QVector<double> input;
    for (int i = 0; i < 1000; ++i)
        input << 0.01 * (i % 37 + 1) << double(i % 101);
    merge.setData(input);
    const QVector<double> out = merge.data();
    double total = 0.0;
    double inTotal = 0.0;
    for (int k = 0; k < input.size() / 2; ++k)
        inTotal += input[2 * k];
    for (int k = 0; k < out.size() / 2; ++k) {
        total += out[2 * k];
        if (k + 1 < out.size() / 2) {
            EXPECT_GE(out[2 * k], 1.0) << k;
        }
    }
    EXPECT_NEAR(total, inTotal, 1e-9);
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 100.0);
}

TEST(MinimalWidth2D, MergeWidthHasAHysteresisBand)
{
    Filter1D source;
    source.setData(pairs({1, 1, 1, 2, 1, 3, 1, 4}));
    MinimalWidth2D merge;
    int changes = 0;
    QObject::connect(&merge, &MinimalWidth2D::mergeWidthChanged, [&changes] { ++changes; });
    source.addFilter(&merge);
    EXPECT_EQ(merge.data(), source.data());

    merge.setMergeWidth(1.15);  // inside +-20 %
    merge.setMergeWidth(-2);
    EXPECT_EQ(merge.mergeWidth(), 1.0);
    merge.setMergeWidth(2.0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(merge.data(), pairs({2, 2, 2, 4}));
    merge.setMergeWidth(1.5);  // below the band (1.6, 2.4)
    EXPECT_EQ(changes, 2);

    merge.setPercMargin(0.5);
    merge.setMergeWidth(1.0);  // inside (0.75, 2.25)
    EXPECT_EQ(merge.mergeWidth(), 1.5);
}

} // namespace
