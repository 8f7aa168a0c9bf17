#include "chartelle/chartarea.h"
#include "plotters/areaplotter.h"
#include "plotters/barplotter.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

struct AreaScene
{
    AreaScene()
    {
        chart.setWidth(400);
        chart.setHeight(300);
        area.setChartArea(&chart);
        area.setPlotterArea(QRectF(0, 0, 10, 0));
    }
    ChartArea chart;
    AreaPlotter area;
};

}  // namespace

TEST(AreaPlotter, FillHasTwoVerticesPerBinAndBorderOne)
{
    AreaScene s;
    s.area.setData({1, 4, 2});
    s.area.rebuildArrays();
    EXPECT_EQ(s.area.fillVertices(), (QVector<float>{0, 0, 0, 1, 1, 0, 1, 4, 2, 0, 2, 2}));
    EXPECT_EQ(s.area.borderVertices(), (QVector<float>{0, 1, 1, 4, 2, 2}));
    EXPECT_EQ(s.area.plotterArea(), QRectF(0, 0, 10, 4));
    EXPECT_NEAR(s.area.color().alphaF(), 0.5, 1e-3);
}

TEST(AreaPlotter, LayersDrawOnlyTheVisibleBins)
{
    AreaScene s;
    s.area.setData(QVector<double>(10, 1.0));
    s.area.rebuildArrays();
    QVector<SRenderLayerDefinition> layers = s.area.layersFor(QRectF(2.5, 0, 3.0, 1));
    ASSERT_EQ(layers.size(), 2);
    const SRenderLayerDefinition &fill = layers[0];
    const SRenderLayerDefinition &border = layers[1];
    EXPECT_EQ(fill.program, "area_gradient");
    EXPECT_EQ(fill.mode, 0x1005u);
    EXPECT_EQ(fill.first, 4);   // bins 2..5
    EXPECT_EQ(fill.count, 8);
    EXPECT_EQ(border.program, "area");
    EXPECT_EQ(border.mode, 0x1003u);
    EXPECT_EQ(border.first, 2);
    EXPECT_EQ(border.count, 4);
    EXPECT_FLOAT_EQ(border.lineWidth, 3.0f);

    s.area.setBorderEnable(false);
    layers = s.area.layersFor(QRectF(-100, 0, 300, 1));
    EXPECT_EQ(layers[1].mode, 0u) << "no border layer is drawn";
    EXPECT_EQ(layers[0].first, 0);
    EXPECT_EQ(layers[0].count, 20);
}

TEST(AreaPlotter, OffsetMovesTheBinsRight)
{
    AreaScene s;
    s.area.setData(QVector<double>(10, 1.0));
    s.area.setXOffset(5);
    EXPECT_EQ(s.area.modArea(), QRectF(5, 0, 10, 0));
    EXPECT_EQ(s.area._index_at(4.9), -1);
    EXPECT_EQ(s.area._index_at(5.0), 0);
    EXPECT_EQ(s.area._index_at(14.5), 9);
    EXPECT_EQ(s.area._index_at(15.0), 10) << "right edge gives one past the last bin";
    EXPECT_FALSE(s.area.mouse_hovering(QPointF(15.0, 0.5)).valid);
}

TEST(IPlotter1D, HoverAndMaximumUseTheBins)
{
    AreaScene s;
    s.area.setData({1, 5, 2, 0.1, 3, 9, 1, 1, 1, 1});
    SInfoPoint hit = s.area.mouse_hovering(QPointF(1.5, 4.0));
    EXPECT_TRUE(hit.valid);
    EXPECT_EQ(hit.index, 1);
    EXPECT_EQ(hit.rect, QRectF(1, 0, 1, 5));
    EXPECT_FALSE(s.area.mouse_hovering(QPointF(1.5, 5.5)).valid);
    EXPECT_EQ(s.area.__start_index(QRectF(2.5, 0, 3, 1)), 2);
    EXPECT_EQ(s.area.__end_index(QRectF(2.5, 0, 3, 1)), 6);
    EXPECT_DOUBLE_EQ(s.area.max_in(QRectF(2.5, 0, 3, 1)), 9.0);
    EXPECT_DOUBLE_EQ(s.area.max_in(QRectF(0, 0, 2, 1)), 5.0);
    EXPECT_DOUBLE_EQ(s.area.max_in(QRectF(3.2, 0, 0.5, 1)), double(0.1f)) << "kept in single precision";
    EXPECT_DOUBLE_EQ(s.area.max_in(QRectF(20, 0, 1, 1)), 0.0);
}

TEST(IPlotter, SettersEmitOnlyOnChange)
{
    AreaScene s;
    QSignalSpy z(&s.area, &IPlotter::zOrderChanged);
    QSignalSpy color(&s.area, &IPlotter::colorChanged);
    s.area.setZOrder(1.0);
    s.area.setZOrder(1.0 + 1e-14);
    s.area.setColor(Qt::red);
    s.area.setColor(Qt::red);
    EXPECT_EQ(z.count(), 1);
    EXPECT_EQ(color.count(), 1);

    QSignalSpy data(&s.area, &IPlotter::dataChanged);
    const QVector<double> v{1, 2, 3};
    s.area.setData(v);
    s.area.setData({1, 2, 3});
    EXPECT_EQ(data.count(), 1);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    s.area.setData({1, nan});
    s.area.setData({1, nan});
    EXPECT_EQ(data.count(), 3) << "NaN never compares equal";
}

TEST(BarPlotter, FourVerticesPerBin)
{
    ChartArea chart;
    BarPlotter bars;
    bars.setChartArea(&chart);
    bars.setPlotterArea(QRectF(0, 0, 4, 0));
    bars.setData({3, 1});
    bars.rebuildArrays();
    EXPECT_EQ(bars.points(), (QVector<float>{0, 0, 3, 3, 0, 0, 1, 1}));
    EXPECT_EQ(bars.vertexIds(), (QVector<float>{0, 1, 0, 1, 1, 2, 1, 2}));
    EXPECT_EQ(bars.indices(), (QVector<quint32>{1, 2, 0, 1, 2, 3, 5, 6, 4, 5, 6, 7}));
    EXPECT_EQ(bars.plotterArea(), QRectF(0, 0, 4, 3));
    EXPECT_EQ(bars.visibleRange(QRectF(2.5, 0, 10, 1)), qMakePair(1, 2));
    EXPECT_EQ(bars.visibleRange(QRectF(-2, 0, 1, 1)), qMakePair(0, 0));
}
