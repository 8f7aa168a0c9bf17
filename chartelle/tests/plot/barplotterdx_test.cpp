#include "chartelle/barplotterdx.h"
#include "chartelle/chartarea.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

struct BarScene
{
    BarScene()
    {
        chart.setWidth(400);
        chart.setHeight(300);
        bars.setChartArea(&chart);
    }
    void set(const QVector<double> &pairs)
    {
        bars.setData(pairs);
        bars.rebuildArrays();
    }
    ChartArea chart;
    BarPlotterDx bars;
};

}  // namespace

TEST(BarPlotterDx, OneBarBuildsTwoTrianglesAndItsArea)
{
    BarScene s;
    s.set({2.0, 5.0});
    const QVector<float> v = s.bars.vertices();
    // (x msb, x lsb, height) per vertex: (0,0) (2,0) (0,5) (2,5)
    ASSERT_EQ(v.size(), 12);
    const float expected[12] = {0, 0, 0, 2, 0, 0, 0, 0, 5, 2, 0, 5};
    for (int i = 0; i < 12; ++i)
        EXPECT_FLOAT_EQ(v[i], expected[i]) << "at " << i;
    EXPECT_EQ(s.bars.indices(), (QVector<quint32>{1, 2, 0, 1, 2, 3}));
    EXPECT_EQ(s.bars.plotterArea(), QRectF(0, 0, 2, 5));
    EXPECT_TRUE(s.bars.dirtyFlags() & chartelle::VertexDirty);
    EXPECT_TRUE(s.bars.dirtyFlags() & chartelle::IndexDirty);
}

TEST(BarPlotterDx, SplitXKeepsPicosecondsAfterASecondOfOffset)
{
    BarScene s;
    const double x = 1e9 + 0.25;
    s.set({x, 1.0, 0.5, 3.0});
    const QVector<float> v = s.bars.vertices();
    // Vertex 1 is the right end of the first bar, vertex 4 the left end of the second.
    const float msb = v[3];
    const float lsb = v[4];
    EXPECT_NE(double(msb), x) << "a single float cannot carry the quarter";
    EXPECT_EQ(double(msb) + double(lsb), x);

    // The shader subtracts the split view origin in float arithmetic only.
    const double viewLeft = 1e9;
    const float xMsb = float(viewLeft);
    const float xLsb = float(viewLeft - double(xMsb));
    const float shaderX = (msb - xMsb) + (lsb - xLsb);
    EXPECT_FLOAT_EQ(shaderX, 0.25f);
    const float end = (v[15] - xMsb) + (v[16] - xLsb);  // vertex 5: right end of bar 2
    EXPECT_FLOAT_EQ(end, 0.75f);
}

TEST(BarPlotterDx, IndexArrayOnlyGrows)
{
    BarScene s;
    s.set({1, 1, 1, 2, 1, 3});
    EXPECT_EQ(s.bars.indices().size(), 18);
    s.set({1, 7});
    EXPECT_EQ(s.bars.indices().size(), 18) << "a long enough index array is kept";
    EXPECT_EQ(s.bars.vertices().size(), 12);
    EXPECT_EQ(s.bars.plotterArea(), QRectF(0, 0, 1, 7));
}

TEST(BarPlotterDx, IndexAtWalksTheWidths)
{
    BarScene s;
    s.set({1, 4, 2, 8, 0.5, 2});  // edges 0, 1, 3, 3.5
    s.bars.setPlotterArea(QRectF(10, 0, 99, 99));
    EXPECT_EQ(s.bars.plotterArea(), QRectF(10, 0, 3.5, 8)) << "size follows the data";
    EXPECT_EQ(s.bars._index_at(9.99), -1);
    EXPECT_EQ(s.bars._index_at(10.0), 0);
    EXPECT_EQ(s.bars._index_at(10.5), 0);
    EXPECT_EQ(s.bars._index_at(11.0), 0) << "a shared edge belongs to the bar on its left";
    EXPECT_EQ(s.bars._index_at(11.2), 1);
    EXPECT_EQ(s.bars._index_at(13.2), 2);
    EXPECT_EQ(s.bars._index_at(13.5), 3) << "right edge gives the number of bars";
    EXPECT_EQ(s.bars._index_at(13.6), -1);
}

TEST(BarPlotterDx, VisibleRangeAndMaximum)
{
    BarScene s;
    s.set({1, 4, 2, 8, 0.5, 2, 1, 6});  // edges 0, 1, 3, 3.5, 4.5
    s.bars.updateVisibleRange(QRectF(3.2, 0, 1.0, 10));
    EXPECT_EQ(s.bars.drawFirst(), 1);
    EXPECT_EQ(s.bars.drawEnd(), 4);
    s.bars.updateVisibleRange(QRectF(-5, 0, 100, 10));
    EXPECT_EQ(s.bars.drawFirst(), 0);
    EXPECT_EQ(s.bars.drawEnd(), 4);
    s.bars.updateVisibleRange(QRectF(0.2, 0, 0.3, 10));
    EXPECT_EQ(s.bars.drawFirst(), 0);
    EXPECT_EQ(s.bars.drawEnd(), 1);

    EXPECT_DOUBLE_EQ(s.bars.max_in(QRectF(0.1, 0, 0.5, 1)), 4.0);
    EXPECT_DOUBLE_EQ(s.bars.max_in(QRectF(-10, 0, 100, 1)), 8.0);
    EXPECT_DOUBLE_EQ(s.bars.max_in(QRectF(3.6, 0, 10, 1)), 6.0) << "a view past the end still sees the last bar";
    EXPECT_DOUBLE_EQ(s.bars.max_in(QRectF(20, 0, 1, 1)), 0.0);
}

TEST(BarPlotterDx, HoverHitsTheBarUnderThePointer)
{
    BarScene s;
    s.set({1, 4, 2, 8});
    SInfoPoint hit = s.bars.mouse_hovering(QPointF(2.0, 7.5));
    EXPECT_TRUE(hit.valid);
    EXPECT_EQ(hit.index, 1);
    EXPECT_EQ(hit.rect, QRectF(1, 0, 2, 8));
    EXPECT_EQ(hit.plotter, &s.bars);
    EXPECT_EQ(s.bars.area_at(QPointF(2.0, 7.5)), QRectF(1, 0, 2, 8));

    EXPECT_FALSE(s.bars.mouse_hovering(QPointF(0.5, 4.5)).valid) << "above the bar";
    EXPECT_FALSE(s.bars.mouse_hovering(QPointF(3.0, 1.0)).valid) << "right edge";
    EXPECT_FALSE(s.bars.mouse_hovering(QPointF(-1.0, 1.0)).valid);
    EXPECT_TRUE(s.bars.area_at(QPointF(-1.0, 1.0)).isNull());
}

TEST(BarPlotterDx, DataWithoutChartIsNotStored)
{
    BarPlotterDx bars;
    QSignalSpy changed(&bars, &IPlotter::dataChanged);
    bars.setData({1, 2});
    EXPECT_TRUE(bars.data().isEmpty());
    EXPECT_EQ(changed.count(), 0);
}
