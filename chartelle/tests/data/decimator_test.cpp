#include "recordingplotter.h"

#include "chartelle/chartarea.h"
#include "filters/decimatorfilter.h"
#include "filters/decimatoru64.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using chartelle::datapath::decimateLevel;

// The grouping rule written out plainly, for comparison with the optimised paths.
QVector<double> referenceLevel(const QVector<double> &in, double factor)
{
    const int n = in.size();
    const int m = static_cast<int>(std::ceil(n / factor));
    const double step = double(n) / m;
    QVector<double> out;
    double x = 0.0;
    int s = 0;
    int e = 0;
    while (e < n) {
        x += step;
        e = static_cast<int>(std::llround(x));
        double best = 0.0;
        for (int i = s; i < e; ++i)
            best = in[i] > best ? in[i] : best;
        out.append(best);
        s = e;
    }
    return out;
}

// A chart item 1000 pixels wide whose view is fixed by the test alone.
struct Chart
{
    Chart(double viewWidth)
    {
        chart.setAdaptAreaToPlotters(false);
        chart.setShouldUpdate(false);
        chart.setChartRect(QRectF(0, 0, 1e6, 1));
        chart.setZoomRect(QRectF(0, 0, viewWidth, 1));
        chart.setWidth(1000);
    }
    ChartArea chart;
};

TEST(DecimatorPyramid, FiveValuesGiveLevelsOfFiveThreeTwoOne)
{
    DecimatorU64 decimator;
    decimator.setData({1, 4, 2, 8, 3});
    ASSERT_EQ(decimator.levelCount(), 4);
    EXPECT_EQ(decimator.level(0), (QVector<double>{1, 4, 2, 8, 3}));
    EXPECT_EQ(decimator.level(1), (QVector<double>{4, 2, 8}));  // {0,1} {2} {3,4}
    EXPECT_EQ(decimator.level(2), (QVector<double>{4, 8}));     // {0,1} {2}
    EXPECT_EQ(decimator.level(3), (QVector<double>{8}));
}

TEST(DecimatorPyramid, GroupsStartFromZeroSoNegativesAndNaNGiveZero)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(decimateLevel(QVector<double>{-1, -2, -3, 5}, 2.0), (QVector<double>{0, 5}));
    EXPECT_EQ(decimateLevel(QVector<double>{nan, 2, 3, nan, nan, nan}, 2.0), (QVector<double>{2, 3, 0}));
    EXPECT_EQ(decimateLevel(QVector<double>{nan, -1, -4, 6, 7}, 2.0), (QVector<double>{0, 0, 7}));
}

TEST(DecimatorPyramid, FastPathsMatchThePlainRuleAndKeepEveryPeak)
{
    std::mt19937 random(17);
    std::uniform_real_distribution<double> value(-10.0, 100.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int n : {2, 3, 7, 64, 1000, 1023, 4097}) {
        QVector<double> level(n);
        for (double &v : level)
            v = random() % 50 == 0 ? nan : value(random);
        for (double factor : {2.0, 3.0, 2.5}) {
            const QVector<double> fast = decimateLevel(level, factor);
            const QVector<double> plain = referenceLevel(level, factor);
            ASSERT_EQ(fast.size(), plain.size()) << n << " " << factor;
            for (int j = 0; j < fast.size(); ++j)
                ASSERT_EQ(fast[j], plain[j]) << "n " << n << " factor " << factor << " j " << j;
        }
    }

    // A single-bin spike survives up to the top of the pyramid.
    QVector<double> spike(1 << 16, 1.0);
    spike[12345] = 1e6;
    DecimatorU64 decimator;
    decimator.setData(spike);
    for (int i = 0; i < decimator.levelCount(); ++i)
        EXPECT_DOUBLE_EQ(*std::max_element(decimator.level(i).begin(), decimator.level(i).end()), 1e6) << i;
    EXPECT_EQ(decimator.level(decimator.levelCount() - 1).size(), 1);
}

TEST(DecimatorPyramid, EqualInputDoesNotRebuildAndEmptyInputKeepsTheLevels)
{
    DecimatorU64 decimator;
    int changes = 0;
    QObject::connect(&decimator, &Filter1D::dataChanged, [&changes] { ++changes; });
    decimator.setData({1, 2, 3});
    decimator.setData(QVector<double>{1, 2, 3});
    EXPECT_EQ(changes, 1);
    decimator.setData({});
    EXPECT_EQ(decimator.levelCount(), 3);
    EXPECT_EQ(decimator.level(0), (QVector<double>{1, 2, 3}));
}

TEST(DecimatorLevel, FollowsUnitsPerPixelOfTheChart)
{
    // 1 000 000 units over 100 000 bins of width 10, shown on 1000 pixels: 1000 units per
    // pixel, 100 bins per pixel, level ceil(log2 100) = 7.
    Chart view(1e6);
    DecimatorU64 decimator;
    RecordingPlotter plotter("p");
    decimator.addPlotter(&plotter);
    decimator.setArea(QRectF(0, 0, 1e6, 0));
    decimator.setChartArea(&view.chart);
    decimator.setData(QVector<double>(100000, 1.0));
    EXPECT_EQ(decimator.currentLevelIndex(), 7);
    EXPECT_EQ(decimator.data().size(), int(std::ceil(100000 / 128.0)));
    EXPECT_EQ(plotter.received.size(), decimator.data().size());
    EXPECT_EQ(plotter.area, QRectF(0, 0, 1e6, 0));  // the area is never decimated

    // Zooming in to 1000 units: bins wider than a pixel's share, level 0.
    view.chart.setZoomRect(QRectF(0, 0, 1000, 1));
    EXPECT_EQ(decimator.currentLevelIndex(), 0);
    EXPECT_EQ(plotter.received.size(), 100000);

    // Exactly 8 bins per pixel: level 3, not 4.
    view.chart.setZoomRect(QRectF(0, 0, 80000, 1));
    EXPECT_EQ(decimator.currentLevelIndex(), 3);

    // A narrower item means more units per pixel.
    view.chart.setWidth(125);
    EXPECT_EQ(decimator.currentLevelIndex(), 6);

    // Far out: the single top level.
    view.chart.setZoomRect(QRectF(0, 0, 1e12, 1));
    EXPECT_EQ(decimator.currentLevelIndex(), decimator.levelCount() - 1);
    EXPECT_EQ(plotter.received.size(), 1);
}

TEST(DecimatorLevel, StaysAtLevelZeroWithoutAChartAndForgetsADestroyedChart)
{
    DecimatorU64 decimator;
    decimator.setArea(QRectF(0, 0, 1000, 0));
    decimator.setData(QVector<double>(1000, 2.0));
    EXPECT_EQ(decimator.currentLevelIndex(), 0);

    int chartChanges = 0;
    QObject::connect(&decimator, &Filter1D::chartAreaChanged, [&chartChanges] { ++chartChanges; });
    {
        Chart view(1000);
        view.chart.setWidth(10);
        decimator.setChartArea(&view.chart);
        decimator.setChartArea(&view.chart);
        EXPECT_EQ(chartChanges, 1);
        EXPECT_EQ(decimator.currentLevelIndex(), 7);  // 100 bins per pixel
    }
    EXPECT_EQ(decimator.chartArea(), nullptr);
    decimator.setData(QVector<double>(1000, 3.0));  // must not touch the gone chart
    EXPECT_EQ(decimator.currentLevelIndex(), 7);

    // A zero-width area always shows level 0.
    Chart view(1000);
    view.chart.setWidth(10);
    decimator.setChartArea(&view.chart);
    EXPECT_EQ(decimator.currentLevelIndex(), 7);
    decimator.setArea(QRectF(0, 0, 0, 0));
    EXPECT_EQ(decimator.currentLevelIndex(), 0);
}

TEST(DecimatorLevel, AnItemThatIsNotAZoomableChartFollowsItsWidthOnly)
{
    IChartArea chart;
    chart.setAdaptAreaToPlotters(false);
    chart.setShouldUpdate(false);
    chart.setChartRect(QRectF(0, 0, 1000, 1));
    chart.setWidth(100);
    DecimatorU64 decimator;
    decimator.setChartArea(&chart);
    decimator.setArea(QRectF(0, 0, 1000, 0));
    decimator.setData(QVector<double>(1000, 1.0));
    EXPECT_EQ(decimator.currentLevelIndex(), 4);  // ceil(log2 10)
    chart.setWidth(1000);
    EXPECT_EQ(decimator.currentLevelIndex(), 0);
}

} // namespace
