// The visible maximum of the plotters when it sits in their last bin or bar.
#include "chartelle/barplotterdx.h"
#include "chartelle/chartarea.h"
#include "plotters/areaplotter.h"

#include <gtest/gtest.h>

namespace {

TEST(IPlotter1D, MaxInFindsTheMaximumInTheLastBin)
{
    ChartArea chart;
    chart.setWidth(400);
    chart.setHeight(300);
    AreaPlotter area;
    area.setChartArea(&chart);
    area.setPlotterArea(QRectF(0, 0, 10, 0));
    area.setData({1, 2, 3, 4, 5, 6, 7, 8, 9, 42});
    EXPECT_DOUBLE_EQ(area.max_in(QRectF(0, 0, 10, 1)), 42.0);
    EXPECT_DOUBLE_EQ(area.max_in(QRectF(9.5, 0, 0.25, 1)), 42.0) << "a view inside the last bin";
    EXPECT_DOUBLE_EQ(area.max_in(QRectF(8, 0, 40, 1)), 42.0) << "a view reaching past the end";
    EXPECT_EQ(area.__end_index(QRectF(8, 0, 40, 1)), 10);
    area.setData({42, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_DOUBLE_EQ(area.max_in(QRectF(0, 0, 0.5, 1)), 42.0) << "and in the first";
}

TEST(BarPlotterDx, MaxInFindsTheMaximumInTheLastBar)
{
    ChartArea chart;
    chart.setWidth(400);
    chart.setHeight(300);
    BarPlotterDx bars;
    bars.setChartArea(&chart);
    bars.setData({1, 4, 2, 8, 0.5, 2, 1, 60}); // edges 0, 1, 3, 3.5, 4.5
    bars.rebuildArrays();
    EXPECT_DOUBLE_EQ(bars.max_in(QRectF(0, 0, 4.5, 1)), 60.0) << "the whole area";
    EXPECT_DOUBLE_EQ(bars.max_in(QRectF(3.8, 0, 0.5, 1)), 60.0) << "a view inside the last bar";
    EXPECT_DOUBLE_EQ(bars.max_in(QRectF(2, 0, 2, 1)), 60.0) << "a view ending inside the last bar";
    EXPECT_DOUBLE_EQ(bars.max_in(QRectF(0.2, 0, 0.5, 1)), 4.0);
}

} // namespace
