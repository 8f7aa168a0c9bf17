// dorrin-bench preview_add_batch: tags of the built-in profile's correlated pair (channel 1 at
// 1 kHz, channel 2 at 2 kHz plus half of channel 1's pulses again 12 ns later with 100 ps
// jitter, 1 ps tag unit) added to the preview histogram in capture-sized batches.
//
// The first argument is the length of the stream in tags: a short stream revisits the same
// bins (a histogram that has settled), a long one keeps adding new bins spread over the
// milliseconds between pulses (a large, cold table). With the second argument 1 the histogram
// is cleared before each pass, so every bin is new again.

#include <benchmark/benchmark.h>

#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "ttmworker.h"

namespace {

std::vector<Dorrin::measurement> profilePair(std::size_t count)
{
    std::mt19937_64 rng(1);
    std::exponential_distribution<double> ref(1000.0), other(2000.0);
    std::normal_distribution<double> jitter(0.0, 100e-12);
    std::bernoulli_distribution echoed(0.5);
    std::vector<Dorrin::measurement> tags;
    tags.reserve(count + 4);
    double t1 = 0, t2 = 0;
    while (tags.size() < count) {
        // Whichever of the two streams comes next; an echo joins its pulse's stream.
        if (t1 <= t2) {
            t1 += ref(rng);
            tags.push_back({1, 1, std::uint64_t(t1 * 1e12)});
            if (echoed(rng))
                tags.push_back({2, 1, std::uint64_t((t1 + 12e-9 + jitter(rng)) * 1e12)});
        } else {
            t2 += other(rng);
            tags.push_back({2, 1, std::uint64_t(t2 * 1e12)});
        }
    }
    std::stable_sort(tags.begin(), tags.end(), [](const auto &a, const auto &b) { return a.tag < b.tag; });
    tags.resize(count);
    return tags;
}

void preview_add_batch(benchmark::State &state)
{
    const auto tags = profilePair(std::size_t(state.range(0)));
    const bool clearEachPass = state.range(1) != 0;
    constexpr std::size_t batch = 65536;
    TTMWorker worker(1e-12 / 1e-11);
    worker.setReference(1, 1);
    worker.setMeasure(2, 1);
    for (auto _ : state) {
        if (clearEachPass) {
            state.PauseTiming();
            worker.clearHistogram();
            state.ResumeTiming();
        }
        for (std::size_t at = 0; at < tags.size(); at += batch)
            worker.addBatch(tags.data() + at, std::min(batch, tags.size() - at));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(tags.size()));
    state.counters["bins"] = double(worker.binCount());
}
BENCHMARK(preview_add_batch)
    ->Args({1 << 16, 0})
    ->Args({1 << 22, 0})
    ->Args({1 << 22, 1})
    ->Unit(benchmark::kMillisecond);

// The draw vector of a large histogram: what a refresh costs the pool thread once a second.
void preview_draw_vector(benchmark::State &state)
{
    const auto tags = profilePair(std::size_t(state.range(0)));
    TTMWorker worker(1e-12 / 1e-11);
    worker.setReference(1, 1);
    worker.setMeasure(2, 1);
    worker.addBatch(tags.data(), tags.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(worker.compute_draw_vector());
    state.counters["bins"] = double(worker.binCount());
}
BENCHMARK(preview_draw_vector)->Arg(1 << 16)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // The refresh logs the start of every vector at debug level; figures only here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg)
            fprintf(stderr, "%s\n", qPrintable(message));
    });
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
