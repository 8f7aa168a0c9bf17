// What crosses from the GUI thread to the render thread, checked without OpenGL: plotters
// copy what they draw into per-chart frames, a frame outlives its plotter, charts draw
// another chart's plotters, data set on other threads reach the plotter's thread, and no
// signal is emitted while the chart's data mutex is held.
#include "chart/plotterframe.h"
#include "chartelle/barplotterdx.h"
#include "chartelle/chartarea.h"
#include "plotters/areaplotter.h"
#include "plotters/bardecorator.h"
#include "plotters/barplotter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <thread>

namespace {

template <typename Cond>
bool waitFor(Cond cond, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return cond();
}

float uniform(const PlotterFrame::Layer &layer, const char *name, int i = 0)
{
    const SUniformValue *u = layer.uniforms.find(name);
    return u ? u->values[i] : -12345.0f;
}

}  // namespace

TEST(PlotterFrame, EachChartGetsItsOwnRangeAndUniforms)
{
    BarPlotterDx bars;
    ChartArea chart;
    bars.setChartArea(&chart);
    QVector<double> data;
    for (int k = 0; k < 10; ++k)
        data << 1.0 << double(k + 1);
    bars.setData(data);

    PlotterFrame whole;
    PlotterFrame zoomed;
    bars.synchronize(whole, QRectF(0, 0, 10, 10));
    bars.synchronize(zoomed, QRectF(4, 0, 2, 10));
    ASSERT_EQ(whole.layers().size(), 1);
    ASSERT_EQ(zoomed.layers().size(), 1);
    EXPECT_EQ(whole.layers()[0].first, 0);
    EXPECT_EQ(whole.layers()[0].count, 10 * 6);
    // Bars 4 and 5 are in view; the range starts one bar early, at bar 2.
    EXPECT_EQ(zoomed.layers()[0].first, 2 * 24);
    EXPECT_EQ(zoomed.layers()[0].count, 4 * 6);
    EXPECT_FLOAT_EQ(uniform(whole.layers()[0], "screen_dx"), 0.2f);
    EXPECT_FLOAT_EQ(uniform(zoomed.layers()[0], "screen_dx"), 1.0f);
    EXPECT_FLOAT_EQ(uniform(zoomed.layers()[0], "x_msb"), 4.0f);
    EXPECT_FLOAT_EQ(uniform(whole.layers()[0], "color", 0), float(bars.color().redF()));
    EXPECT_EQ(whole.attributeCount(), 2);

    // Later changes of the plotter do not reach a frame until it is synchronised again.
    bars.setColor(Qt::red);
    bars.setData({1, 1});
    EXPECT_FLOAT_EQ(uniform(whole.layers()[0], "color", 0), float(QColor(7, 203, 242).redF()));
    EXPECT_EQ(whole.layers()[0].count, 10 * 6);
    bars.synchronize(whole, QRectF(0, 0, 10, 10));
    EXPECT_EQ(whole.layers()[0].count, 6);
    EXPECT_FLOAT_EQ(uniform(whole.layers()[0], "color", 0), 1.0f);
}

TEST(PlotterFrame, HiddenOrOutsideTheViewDrawsNothingAndKeepsDirtyBits)
{
    AreaPlotter area;
    ChartArea chart;
    area.setChartArea(&chart);
    area.setPlotterArea(QRectF(0, 0, 4, 0));
    area.setData({1, 2, 3, 4});
    PlotterFrame frame;
    area.synchronize(frame, QRectF(0, 0, 4, 5));
    ASSERT_EQ(frame.layers().size(), 2) << "fill and border";
    EXPECT_EQ(area.dirtyFlags(), 0u);

    area.setVisible(false);
    area.setData({4, 3, 2, 1});
    area.synchronize(frame, QRectF(0, 0, 4, 5));
    EXPECT_TRUE(frame.layers().isEmpty());
    EXPECT_NE(area.dirtyFlags(), 0u) << "nothing uploaded while hidden";

    area.setVisible(true);
    area.synchronize(frame, QRectF(10, 0, 4, 5));
    EXPECT_TRUE(frame.layers().isEmpty()) << "the area misses the view";
    EXPECT_EQ(area.dirtyFlags(), 0u);
    area.setBorderEnable(false);
    area.synchronize(frame, QRectF(0, 0, 4, 5));
    EXPECT_EQ(frame.layers().size(), 1) << "a layer with mode 0 is not kept";
}

TEST(ChartFrames, FramesFollowThePlottersShown)
{
    ChartArea chart;
    chart.setWidth(100);
    chart.setHeight(100);
    PlotterFrames frames;
    auto *a = new BarPlotterDx;
    BarPlotterDx b;
    a->setChartArea(&chart);
    b.setChartArea(&chart);
    a->setData({1, 1});
    b.setData({1, 2});
    b.setDrawLayer(0b101);  // drawn twice, copied once
    chart.synchronizePlotters(frames);
    EXPECT_EQ(frames.frameCount(), 2);
    EXPECT_TRUE(a->isInitialized());
    EXPECT_EQ(chart.chartRect(), QRectF(0, 0, 1, 2.1)) << "areas follow the first arrays";

    delete a;  // no ceremony: the chart drops its frame at the next synchronisation
    chart.synchronizePlotters(frames);
    EXPECT_EQ(frames.frameCount(), 1);
}

TEST(ChartFrames, AChartDrawsItsSourcesPlottersBesideItsOwn)
{
    ChartArea main;
    ChartArea navigator;
    navigator.setAdaptChartHeight(false);
    BarPlotterDx shared;
    BarPlotterDx own;
    shared.setChartArea(&main);
    own.setChartArea(&navigator);
    shared.setData({2, 4});
    own.setData({1, 8});
    QSignalSpy sourceChanged(&navigator, &IChartArea::sourceChartChanged);
    navigator.setSourceChart(&main);
    navigator.setSourceChart(&main);
    EXPECT_EQ(sourceChanged.count(), 1);
    EXPECT_EQ(navigator.plotter(), QList<IPlotter *>{&own});
    EXPECT_EQ(navigator.drawnPlotters(), (QList<IPlotter *>{&own, &shared}));
    EXPECT_EQ(main.drawnPlotters(), QList<IPlotter *>{&shared});

    PlotterFrames mainFrames, navFrames;
    main.synchronizePlotters(mainFrames);
    navigator.synchronizePlotters(navFrames);
    EXPECT_EQ(mainFrames.frameCount(), 1);
    EXPECT_EQ(navFrames.frameCount(), 2);
    EXPECT_EQ(navigator.chartRect(), QRectF(0, 0, 2, 8.4));
    EXPECT_EQ(main.chartRect(), QRectF(0, 0, 2, 4.2));

    // The navigator repaints when the main chart does.
    main.setUpdateIntervalMs(0);
    navigator.setUpdateIntervalMs(0);
    const quint64 before = navigator.updateCount();
    shared.setData({2, 5});
    EXPECT_EQ(navigator.updateCount(), before + 1);

    {
        BarPlotterDx gone;
        gone.setChartArea(&main);
        EXPECT_EQ(navigator.drawnPlotters().size(), 3);
    }
    EXPECT_EQ(navigator.drawnPlotters().size(), 2);
    navigator.setSourceChart(&navigator);
    EXPECT_EQ(navigator.sourceChart(), nullptr) << "a chart is never its own source";
}

TEST(IPlotterThreads, DataFromAnotherThreadIsAppliedOnThePlottersThread)
{
    ChartArea chart;
    BarPlotterDx bars;
    bars.setChartArea(&chart);
    QSignalSpy changed(&bars, &IPlotter::dataChanged);
    std::thread worker([&bars] {
        bars.setData({1, 1});
        bars.setData({1, 2, 1, 3});
        bars.setPlotterArea(QRectF(5, 0, 0, 0));
    });
    worker.join();
    EXPECT_TRUE(bars.data().isEmpty()) << "nothing changes on the calling thread";
    ASSERT_TRUE(waitFor([&] { return bars.data().size() == 4; }));
    EXPECT_EQ(bars.data(), (QVector<double>{1, 2, 1, 3})) << "applied in call order";
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(bars.plotterArea().left(), 5.0);

    // Data still queued for a plotter that is destroyed are dropped with it.
    auto *doomed = new BarPlotterDx;
    doomed->setChartArea(&chart);
    std::thread late([doomed] { doomed->setData({1, 9}); });
    late.join();
    delete doomed;
    QCoreApplication::processEvents();
    EXPECT_TRUE(chart.plotter().isEmpty() || chart.plotter() == QList<IPlotter *>{&bars});
}

TEST(IPlotterThreads, NoSignalWhileTheDataMutexIsHeld)
{
    ChartArea chart;
    chart.setUpdateIntervalMs(0);
    AreaPlotter area;
    area.setChartArea(&chart);
    PlotterFrame frame;
    area.synchronize(frame, QRectF(0, 0, 1, 1));  // initialised: setData rebuilds arrays
    int checked = 0;
    int held = 0;
    auto probe = [&] {
        ++checked;
        if (!chart.dataMutex().tryLock()) {
            ++held;
            return;
        }
        chart.dataMutex().unlock();
    };
    QObject::connect(&area, &IPlotter::plotterAreaChanged, probe);
    QObject::connect(&area, &IPlotter::modAreaChanged, probe);
    QObject::connect(&area, &IPlotter::dataChanged, probe);
    area.setData({1, 5, 2});
    area.setData({1, 7, 2, 9});
    EXPECT_GE(checked, 6);
    EXPECT_EQ(held, 0);
}

TEST(BarDecorator, ForgetsPlottersThatAreDestroyed)
{
    ChartArea chart;
    chart.setWidth(200);
    chart.setHeight(100);
    chart.setAdaptAreaToPlotters(false);
    chart.setAdaptChartHeight(false);
    chart.setChartRect(QRectF(0, 0, 2, 10));
    chart.setZoomRect(QRectF(0, 0, 2, 10));
    BarPlotterDx kept;
    kept.setChartArea(&chart);
    kept.setData({1, 10, 1, 10});
    kept.rebuildArrays();
    BarDecorator decorator;
    decorator.setChartArea(&chart);
    decorator.addPlotter(&kept);
    QSignalSpy changed(&decorator, &BarDecorator::plottersChanged);
    {
        auto *front = new BarPlotterDx;
        front->setChartArea(&chart);
        front->setData({2, 10});
        front->rebuildArrays();
        front->setZOrder(5);
        decorator.addPlotter(front);
        decorator.setActive(true);
        decorator.setMouseX(50);
        decorator.setMouseY(50);
        EXPECT_EQ(decorator.infoMap().size(), 2);
        delete front;
    }
    EXPECT_EQ(changed.count(), 2) << "added, then gone";
    EXPECT_EQ(decorator.plotters(), QList<IPlotter *>{&kept});
    // Hovering again touches only the plotter that is left.
    decorator.setMouseX(150);
    ASSERT_EQ(decorator.infoMap().size(), 1);
    EXPECT_EQ(decorator.highlight(), QRectF(1, 0, 1, 10));

    decorator.removePlotter(&kept);
    EXPECT_TRUE(decorator.plotters().isEmpty());
    decorator.setMouseX(40);
    EXPECT_TRUE(decorator.infoMap().isEmpty());
}

TEST(BarDecorator, HighlightsAreMappedForEachChartsView)
{
    ChartArea chart;
    chart.setWidth(200);
    chart.setHeight(100);
    chart.setAdaptAreaToPlotters(false);
    chart.setAdaptChartHeight(false);
    chart.setChartRect(QRectF(0, 0, 2, 10));
    chart.setZoomRect(QRectF(0, 0, 2, 10));
    BarPlotterDx bars;
    bars.setChartArea(&chart);
    bars.setData({1, 10, 1, 10});
    bars.rebuildArrays();
    BarDecorator decorator;
    decorator.setChartArea(&chart);
    decorator.addPlotter(&bars);
    decorator.setActive(true);
    decorator.setMouseX(150);
    decorator.setMouseY(50);
    PlotterFrame frame;
    decorator.synchronize(frame, QRectF(0, 0, 2, 10));
    ASSERT_EQ(frame.layers().size(), 1);
    EXPECT_EQ(frame.layers()[0].count, 4);
    EXPECT_FLOAT_EQ(uniform(frame.layers()[0], "screen_dy"), 0.2f);
    decorator.synchronize(frame, QRectF(0, 0, 4, 20));
    EXPECT_FLOAT_EQ(uniform(frame.layers()[0], "screen_dy"), 0.1f);
}

TEST(BarPlotter, DrawsItsVisibleBinsWithItsOwnProgram)
{
    ChartArea chart;
    BarPlotter bars;
    bars.setChartArea(&chart);
    bars.setPlotterArea(QRectF(0, 0, 8, 0));
    bars.setData({1, 2, 3, 4, 5, 6, 7, 8});
    PlotterFrame frame;
    bars.synchronize(frame, QRectF(2, 0, 4, 10));
    ASSERT_EQ(frame.layers().size(), 1);
    const PlotterFrame::Layer &layer = frame.layers()[0];
    EXPECT_EQ(layer.program, QStringLiteral("barplotter"));
    EXPECT_EQ(layer.first, 2 * 24);
    EXPECT_EQ(layer.count, 4 * 6);
    EXPECT_FLOAT_EQ(uniform(layer, "screen_x"), -2.0f);
    EXPECT_FLOAT_EQ(uniform(layer, "screen_dx"), 0.5f);
    EXPECT_EQ(bars.plotterArea().height(), 8.0);
}
