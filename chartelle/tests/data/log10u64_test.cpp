#include "filters/log10u64.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(Log10U64, TakesTheDecimalLogarithmAndLeavesEmptyBinsAtZero)
{
    Log10U64 log;
    log.setData({0, 1, 10, 1000, 5, 0});
    ASSERT_EQ(log.data().size(), 6);
    EXPECT_EQ(log.data()[0], 0.0);
    EXPECT_EQ(log.data()[1], 0.0);
    EXPECT_DOUBLE_EQ(log.data()[2], 1.0);
    EXPECT_DOUBLE_EQ(log.data()[3], 3.0);
    EXPECT_DOUBLE_EQ(log.data()[4], std::log10(5.0));
    EXPECT_EQ(log.data()[5], 0.0);

    // Nothing below zero or undefined reaches a plotter.
    log.setData({-4, std::numeric_limits<double>::quiet_NaN(), 100});
    EXPECT_EQ(log.data(), (QVector<double>{0, 0, 2}));
}

TEST(Log10U64, FollowsItsSourceAndPassesOnOnlyChanges)
{
    Filter1D source;
    source.setArea(QRectF(0, 0, 4e-9, 100));
    source.setData({100, 0, 10, 1});
    Log10U64 log;
    Filter1D child;
    int changes = 0;
    QObject::connect(&log, &Filter1D::dataChanged, [&changes] { ++changes; });

    // Attached late, it takes the source's current counts and area at once, and hands them on.
    source.addFilter(&log);
    log.addFilter(&child);
    EXPECT_EQ(log.area(), source.area());
    EXPECT_EQ(log.data(), (QVector<double>{2, 0, 1, 0}));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(child.data(), log.data());

    source.setData({1000, 0, 10, 1});
    EXPECT_EQ(log.data()[0], 3.0);
    EXPECT_EQ(child.data()[0], 3.0);
    EXPECT_EQ(changes, 2);

    // New counts with the same logarithms are no news for the chart.
    source.setData({1000, 0, 10, 0});
    EXPECT_EQ(changes, 2);
    source.setData({});
    EXPECT_TRUE(log.data().isEmpty());
    EXPECT_EQ(changes, 3);
}

}  // namespace
