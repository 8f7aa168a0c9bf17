#include "chart/programtable.h"
#include "chartelle/barplotterdx.h"
#include "chartelle/chartarea.h"
#include "plotters/areaplotter.h"
#include "plotters/bardecorator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

// Runs the event loop until cond holds or the (generous) time-out passes.
template <typename Cond>
bool waitFor(Cond cond, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return cond();
}

}  // namespace

TEST(IChartArea, AreaFollowsThePlottersWithHeadroom)
{
    IChartArea chart;
    chart.adaptArea();
    EXPECT_EQ(chart.chartRect(), QRectF(0, 0, 1, 1.05));

    BarPlotterDx flat;
    flat.setChartArea(&chart);
    flat.setData({4, 0});
    flat.rebuildArrays();
    chart.adaptArea();
    EXPECT_EQ(chart.chartRect(), QRectF(0, 0, 4, 1.05)) << "zero height counts as 1";

    BarPlotterDx tall;
    tall.setChartArea(&chart);
    tall.setData({2, 10});
    tall.rebuildArrays();
    tall.setPlotterArea(QRectF(-1, 0, 0, 0));
    chart.adaptArea();
    EXPECT_EQ(chart.chartRect(), QRectF(-1, 0, 5, 10.5));
}

TEST(IChartArea, MapPointIncludesTheEdges)
{
    IChartArea chart;
    chart.setWidth(200);
    chart.setHeight(100);
    chart.setAdaptAreaToPlotters(false);
    chart.setChartRect(QRectF(10, 0, 20, 50));
    EXPECT_EQ(chart.mapPointToChart(QPointF(10, 0)), QPointF(0, 100));
    EXPECT_EQ(chart.mapPointToChart(QPointF(30, 50)), QPointF(200, 0));
    EXPECT_EQ(chart.mapPointToChart(QPointF(20, 25)), QPointF(100, 50));
    EXPECT_EQ(chart.mapPointToChart(QPointF(30.1, 25)), QPointF(-1, -1));
    EXPECT_EQ(chart.mapPointToChart(QPointF(20, -1)), QPointF(-1, -1));
}

TEST(IChartArea, PlotterMembershipGoesBothWays)
{
    ChartArea a;
    ChartArea b;
    AreaPlotter p;
    QSignalSpy changedA(&a, &IChartArea::plotterChanged);
    a.addPlotter(&p);
    a.addPlotter(&p);
    EXPECT_EQ(a.plotter(), QList<IPlotter *>{&p});
    EXPECT_EQ(p.chartArea(), &a);
    EXPECT_EQ(changedA.count(), 1);

    p.setChartArea(&b);
    EXPECT_TRUE(a.plotter().isEmpty());
    EXPECT_EQ(b.plotter(), QList<IPlotter *>{&p});

    BarPlotterDx stranger;
    QSignalSpy changedB(&b, &IChartArea::plotterChanged);
    b.removePlotter(&stranger);
    EXPECT_EQ(changedB.count(), 1) << "emitted even when nothing was removed";
    EXPECT_EQ(b.plotter().size(), 1);

    {
        AreaPlotter shortLived;
        shortLived.setChartArea(&b);
        EXPECT_EQ(b.plotter().size(), 2);
    }
    EXPECT_EQ(b.plotter().size(), 1) << "a destroyed plotter leaves its chart";

    // A chart that only shows another chart's plotters forgets them when they go.
    IChartArea mirror;
    auto *shown = new AreaPlotter;
    mirror.setPlotter({&p, shown});
    EXPECT_EQ(shown->chartArea(), nullptr) << "assigning the list does not attach";
    delete shown;
    EXPECT_EQ(mirror.plotter(), QList<IPlotter *>{&p});
}

TEST(IChartArea, LayersFollowBitsAndZOrder)
{
    IChartArea chart;
    AreaPlotter low, high, both, none;
    for (AreaPlotter *p : {&low, &high, &both, &none})
        chart.addPlotter(p);
    low.setZOrder(1);
    high.setZOrder(2);
    both.setZOrder(0);
    both.setDrawLayer(0b101);
    none.setDrawLayer(0);
    high.setDrawLayer(0b001);
    chart.rebuildLayers();
    EXPECT_EQ(chart.layer(0), (QVector<IPlotter *>{&both, &low, &high}));
    EXPECT_TRUE(chart.layer(1).isEmpty());
    EXPECT_EQ(chart.layer(2), QVector<IPlotter *>{&both});

    high.setZOrder(-1);
    chart.rebuildLayers();
    EXPECT_EQ(chart.layer(0), (QVector<IPlotter *>{&high, &both, &low}));
}

TEST(ChartArea, ZoomHeightFollowsTheVisibleMaximum)
{
    ChartArea chart;
    chart.setWidth(100);
    chart.setHeight(100);
    AreaPlotter area;
    area.setChartArea(&chart);
    area.setPlotterArea(QRectF(0, 0, 10, 0));
    area.setData({0.2, 0.5, 0.1, 0, 0, 0, 0, 0, 40, 0});
    area.rebuildArrays();
    chart.adaptArea();
    chart.resetZoomView();
    chart.setZoomRect(QRectF(0, 0, 5, 1));
    chart.adaptArea();
    EXPECT_DOUBLE_EQ(chart.zoomRect().height(), 1.05) << "never below 1.0";
    chart.setZoomRect(QRectF(5, 0, 5, 1));
    chart.adaptArea();
    EXPECT_DOUBLE_EQ(chart.zoomRect().height(), 42.0);

    chart.setAdaptChartHeight(false);
    chart.adaptArea();
    EXPECT_DOUBLE_EQ(chart.zoomRect().height(), chart.chartRect().height());

    chart.resetZoomView();
    QSignalSpy zoom(&chart, &ChartArea::zoomRectChanged);
    chart.resetZoomView();
    EXPECT_EQ(zoom.count(), 0);
}

TEST(IChartArea, ThrottledRequestIsHonouredAtTheEndOfTheInterval)
{
    ChartArea chart;
    chart.setUpdateIntervalMs(500);
    chart.requestUpdate();
    EXPECT_EQ(chart.updateCount(), 1u);
    // Inside the interval: not drawn now, but not lost either.
    chart.requestUpdate();
    chart.requestUpdate();
    EXPECT_EQ(chart.updateCount(), 1u);
    EXPECT_TRUE(waitFor([&] { return chart.updateCount() == 2u; }));
    // The burst gave exactly one deferred repaint.
    QElapsedTimer settle;
    settle.start();
    waitFor([&] { return settle.elapsed() > 1200; }, 1500);
    EXPECT_EQ(chart.updateCount(), 2u);
}

TEST(IChartArea, LockedOrDisabledChartDoesNotRepaint)
{
    ChartArea chart;
    chart.setUpdateIntervalMs(0);
    chart.lock_update();
    chart.requestUpdate();
    EXPECT_EQ(chart.updateCount(), 0u);
    chart.unlock_update();
    EXPECT_EQ(chart.updateCount(), 0u) << "unlocking alone does not repaint";
    chart.requestUpdate();
    EXPECT_EQ(chart.updateCount(), 1u);
    chart.setShouldUpdate(false);
    chart.requestUpdate();
    EXPECT_EQ(chart.updateCount(), 1u);
    chart.setShouldUpdate(true);
    chart.requestUpdate();
    chart.requestUpdate();
    EXPECT_EQ(chart.updateCount(), 3u) << "interval 0 never throttles";
}

TEST(BarDecorator, ListsHoveredPlottersAndRaisesTheFirst)
{
    ChartArea chart;
    chart.setWidth(100);
    chart.setHeight(100);
    chart.setUpdateIntervalMs(0);
    BarPlotterDx bars;
    bars.setName("bars");
    bars.setChartArea(&chart);
    bars.setData({5, 10, 5, 4});
    bars.rebuildArrays();
    AreaPlotter area;
    area.setName("area");
    area.setChartArea(&chart);
    area.setPlotterArea(QRectF(0, 0, 10, 0));
    area.setData({2, 2});
    area.setZOrder(1);
    chart.setAdaptChartHeight(false);
    chart.adaptArea();
    chart.resetZoomView();
    chart.setZoomRect(QRectF(0, 0, 10, 10));

    BarDecorator deco;
    deco.setChartArea(&chart);
    deco.addPlotter(&bars);
    deco.addPlotter(&area);
    deco.addPlotter(&area);
    EXPECT_EQ(deco.plotters().size(), 2);
    ASSERT_EQ(chart.zoomRect(), QRectF(0, 0, 10, 10.5));
    deco.setMouseX(20);
    EXPECT_TRUE(deco.infoMap().isEmpty()) << "an inactive decorator does not hit-test";
    deco.setActive(true);
    QSignalSpy info(&deco, &BarDecorator::infoMapChanged);

    // Pixel (20, 90) is chart (2, 1.05): inside bar 0 and the area's bin 0.
    deco.setMouseY(90);
    ASSERT_EQ(deco.infoMap().size(), 2);
    EXPECT_GE(info.count(), 1);
    const QVariantMap first = deco.infoMap().first().toMap();
    EXPECT_EQ(first.value("name").toString(), "area") << "front-most first";
    EXPECT_EQ(first.value("rect").toRectF(), QRectF(0, 0, 5, 2));
    EXPECT_EQ(deco.highlight(), QRectF(0, 0, 5, 2));

    // Pixel (20, 50) is chart (2, 5): only the bar.
    deco.setMouseY(50);
    ASSERT_EQ(deco.infoMap().size(), 1);
    EXPECT_EQ(deco.infoMap().first().toMap().value("name").toString(), "bars");
    EXPECT_GT(bars.zOrder(), area.zOrder()) << "the hovered plotter comes to the front";

    // Above everything: the list empties and the highlight is released.
    deco.setMouseY(1);
    EXPECT_TRUE(deco.infoMap().isEmpty());
    EXPECT_TRUE(deco.highlight().isNull());
}

namespace {
class NamedProgram : public SProgramShaderDefinition
{
public:
    explicit NamedProgram(QString tag) : m_tag(std::move(tag)) {}
    QString name() const override { return QStringLiteral("test_program"); }
    QString vertexSource() const override { return m_tag; }
    QString fragmentSource() const override { return m_tag; }

private:
    QString m_tag;
};
}  // namespace

TEST(ProgramTable, FirstDefinitionOfANameWins)
{
    EXPECT_TRUE(chartelle::registerProgramDefinition(new NamedProgram("first")));
    EXPECT_FALSE(chartelle::registerProgramDefinition(new NamedProgram("second")));
    const SProgramShaderDefinition *d = chartelle::programDefinition("test_program");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->vertexSource(), "first");
    QVector<QPair<QOpenGLShader::ShaderType, QString>> sources;
    d->shaderSources(sources);
    ASSERT_EQ(sources.size(), 2);
    EXPECT_EQ(sources[0].first, QOpenGLShader::Vertex);
    EXPECT_EQ(sources[1].first, QOpenGLShader::Fragment);
}
