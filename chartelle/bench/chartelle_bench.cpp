// Speed of the chart data path, with memcpy of 8 MiB (2^20 doubles) in the same run as the
// yardstick: compare ratios, the machine is shared and noisy.
//   decimator_rebuild/1048576  a max pyramid from 2^20 new bins
//   minimalwidth2d/1000000     merging one million (width, value) pairs
//   histogram_frame/1048576    one frame of a live 2^20-bin histogram: the new counts become
//                              the chart's data, go through a DecimatorU64 following a chart
//                              1000 pixels wide and into an AreaPlotter, whose vertex arrays
//                              are rebuilt (CPU side only; the upload is the render thread's)
#include "chartelle/chartarea.h"
#include "filters/decimatoru64.h"
#include "filters/minimalwidth2d.h"
#include "plotters/areaplotter.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

void memcpyBench(benchmark::State &state)
{
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<char> from(bytes, 1);
    std::vector<char> to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

QVector<double> randomHistogram(int bins, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> count(0, 1000);
    QVector<double> v(bins);
    for (double &x : v)
        x = count(random);
    return v;
}

void decimatorRebuildBench(benchmark::State &state)
{
    const int bins = static_cast<int>(state.range(0));
    // Two different histograms in turn, so every setData is new data.
    const QVector<double> inputs[2] = {randomHistogram(bins, 1), randomHistogram(bins, 2)};
    DecimatorU64 decimator;
    int turn = 0;
    for (auto _ : state) {
        decimator.setData(inputs[turn]);
        turn ^= 1;
        benchmark::DoNotOptimize(decimator.data().constData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bins * static_cast<int64_t>(sizeof(double)));
    state.counters["levels"] = decimator.levelCount();
}

void minimalWidthBench(benchmark::State &state)
{
    const int pairs = static_cast<int>(state.range(0));
    std::mt19937 random(3);
    std::uniform_real_distribution<double> width(0.05, 2.0);
    std::uniform_real_distribution<double> value(0.0, 1000.0);
    QVector<double> input(2 * pairs);
    for (int k = 0; k < pairs; ++k) {
        input[2 * k] = width(random);
        input[2 * k + 1] = value(random);
    }
    MinimalWidth2D merge;
    merge.setMergeWidth(1.0);
    for (auto _ : state) {
        merge.setData(input);
        benchmark::DoNotOptimize(merge.data().constData());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * pairs);
    state.counters["out_pairs"] = merge.data().size() / 2;
}

void histogramFrameBench(benchmark::State &state)
{
    const int bins = static_cast<int>(state.range(0));
    // The counts as a histogram module delivers them, and the running histogram they add to.
    std::vector<quint64> counts(static_cast<size_t>(bins));
    std::mt19937_64 random(4);
    for (quint64 &c : counts)
        c = random() % 1000;

    ChartArea chart;
    chart.setWidth(1000);
    chart.setHeight(400);
    DecimatorU64 decimator;
    AreaPlotter plotter;
    plotter.setChartArea(&chart);
    decimator.setChartArea(&chart);
    decimator.setArea(QRectF(0.0, 0.0, bins * 1e-11, 0.0));
    decimator.addPlotter(&plotter);
    chart.setZoomRect(QRectF(0.0, 0.0, bins * 1e-11, 1.0));

    quint64 frame = 0;
    for (auto _ : state) {
        // A new histogram: this frame's counts, converted for the chart.
        QVector<double> histogram(bins);
        double *h = histogram.data();
        const quint64 bump = ++frame;
        for (int i = 0; i < bins; ++i)
            h[i] = static_cast<double>(counts[static_cast<size_t>(i)] + bump);
        decimator.setData(histogram);
        // Vertices as setData builds them once the plotter is on screen.
        plotter.rebuildArrays();
        benchmark::DoNotOptimize(plotter.fillVertices().constData());
    }
    state.counters["level"] = decimator.currentLevelIndex();
    state.counters["points"] = plotter.data().size();
}

} // namespace

int main(int argc, char **argv)
{
    // Chart items need an application object; nothing is shown.
    QCoreApplication app(argc, argv);

    benchmark::RegisterBenchmark("memcpy", memcpyBench)->Arg(8388608)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("decimator_rebuild", decimatorRebuildBench)->Arg(1048576)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("minimalwidth2d", minimalWidthBench)->Arg(1000000)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("histogram_frame", histogramFrameBench)->Arg(1048576)->Unit(benchmark::kMicrosecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
