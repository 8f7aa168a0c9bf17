// Edge cases of the data path that small slips in the bounds get wrong: a pair exactly as wide
// as the merge width, and a maximum sitting in the last bin.
#include "chartelle/filter1d.h"
#include "filters/minimalwidth2d.h"

#include <gtest/gtest.h>

namespace {

QVector<double> merged(const QVector<double> &in, double width)
{
    QVector<double> out(in.size() + 2);
    const int n = chartelle::datapath::mergeNarrowPairs(in.constData(), in.size() / 2, width, out.data());
    out.resize(n);
    return out;
}

TEST(MinimalWidth2D, APairExactlyAsWideAsTheMergeWidthLeavesNothingBehind)
{
    // A pair of exactly the merge width, then lower ones: the merged pair after it holds the
    // maximum of its own inputs only.
    EXPECT_EQ(merged({1, 10, 0.5, 1, 0.5, 2}, 1.0), (QVector<double>{1, 10, 1, 2}));
    // Narrow pairs that add up to exactly the merge width, then lower ones.
    EXPECT_EQ(merged({0.5, 1, 0.5, 9, 0.5, 2, 0.5, 3}, 1.0), (QVector<double>{1, 9, 1, 3}));
    EXPECT_EQ(merged({1, 4, 1, 3, 1, 2, 1, 1}, 2.0), (QVector<double>{2, 4, 2, 2}));
    // A short tail after an exact merge keeps only its own value.
    EXPECT_EQ(merged({0.5, 8, 0.5, 8, 0.25, 1}, 1.0), (QVector<double>{1, 8, 0.25, 1}));

    MinimalWidth2D merge;
    merge.setMergeWidth(2.0);
    merge.setData({1, 4, 1, 3, 1, 2, 1, 1});
    EXPECT_EQ(merge.data(), (QVector<double>{2, 4, 2, 2}));
}

TEST(MinimalWidth2D, WiderPairsPassAndAreNotMergedWithTheirNeighbours)
{
    // Exactly the merge width, alone: passed as it is.
    EXPECT_EQ(merged({1, 5}, 1.0), (QVector<double>{1, 5}));
    EXPECT_EQ(merged({1, 5, 1, 7, 2, 1}, 1.0), (QVector<double>{1, 5, 1, 7, 2, 1}));
    // Just under: merged with the next one.
    EXPECT_EQ(merged({0.75, 5, 0.75, 1}, 1.0), (QVector<double>{1, 5, 0.5, 1}));
}

TEST(Filter1D, MaxInFindsTheMaximumInTheLastBin)
{
    Filter1D filter;
    filter.setArea(QRectF(0, 0, 10, 0));
    filter.setData({1, 2, 3, 4, 5, 6, 7, 8, 9, 42});
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(0, 0, 10, 1)), 42.0);
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(9.5, 0, 0.25, 1)), 42.0) << "a view inside the last bin";
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(5, 0, 50, 1)), 42.0) << "a view reaching past the end";
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(0, 0, 9, 1)), 9.0) << "a view ending on the last bin's edge";
    // The first bin likewise.
    filter.setData({42, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(0, 0, 0.5, 1)), 42.0);
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(1, 0, 9, 1)), 9.0);
}

} // namespace
