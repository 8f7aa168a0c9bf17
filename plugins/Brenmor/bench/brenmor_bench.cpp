// Benchmarks of the histogram plugin:
// - histogram_update/N: one block of N bins through the wrapper (conversion on the feeding
//   thread, hand-over, statistics, visible window, peak, log vector, both containers), next to
//   memcpy of the same N doubles in the same run; the ratio is printed at the end.
// - histogram_text_*: one histogram text block of 2^16 bins, formatted with to_chars and,
//   for comparison, with printf.
// - two runs of four live histograms of 2^16 bins: a time-trigger run at 20 ms windows writing
//   every window to text files (--tt-seconds, 60 by default) and live display at 50 ms
//   (--live-seconds, 20 by default); --no-runs leaves them out. The run deletes the files of
//   windows written and counted, so that it measures the program rather than the disk;
//   --keep-files keeps them all.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "benchdevice.h"
#include "histogramstats.h"
#include "histogramtextfile.h"
#include "liverun.h"
#include "tdchistogrammerwrapper.h"

namespace {
std::vector<std::uint64_t> sampleBlock(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::poisson_distribution<int> background(0.7);
    std::vector<std::uint64_t> counts(n);
    for (std::size_t i = 0; i < n; ++i)
        counts[i] = std::uint64_t(background(rng)) +
                    std::uint64_t(5000 * std::exp(-0.5 * std::pow((double(i) - n * 0.4) / (n / 200.0 + 1), 2)));
    return counts;
}

void histogram_update(benchmark::State &state)
{
    const auto bins = std::uint32_t(state.range(0));
    BenchDevice device(bins);
    TDCHistogrammerWrapper wrapper(&device, &device, nullptr);
    wrapper.setZoomRect(QRectF(bins * 0.3e-12, 0, bins * 0.2e-12, 100));
    const std::vector<std::uint64_t> blocks[2] = {sampleBlock(bins, 1), sampleBlock(bins, 2)};
    QCoreApplication::processEvents();
    std::uint32_t window = 0;
    for (auto _ : state) {
        ++window;
        wrapper.deliverCounts(blocks[window % 2], HistogrammerDevice::Status{window, true});
        QCoreApplication::processEvents();
    }
    if (wrapper.integrationEvent() == 0)
        state.SkipWithError("no block arrived");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * bins * 8);
}
// 4096 beside the two sizes of the goals: a cost fixed per update would show as a time per bin
// that grows toward small blocks.
BENCHMARK(histogram_update)->Arg(4096)->Arg(65536)->Arg(1048576)->Unit(benchmark::kMicrosecond);

void memcpy_same_bytes(benchmark::State &state)
{
    const auto n = std::size_t(state.range(0));
    std::vector<double> from(n, 1.0), to(n, 0.0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), n * sizeof(double));
        benchmark::ClobberMemory();
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(n * 8));
}
BENCHMARK(memcpy_same_bytes)->Arg(4096)->Arg(65536)->Arg(1048576)->Unit(benchmark::kMicrosecond);

void histogram_statistics_only(benchmark::State &state)
{
    const auto n = std::size_t(state.range(0));
    const auto counts = sampleBlock(n, 3);
    std::vector<double> data(counts.begin(), counts.end()), logs(n);
    double total = 0;
    for (double v : data)
        total += v;
    const histstats::Window window{0, n * 1e-12, n * 0.3e-12, n * 0.2e-12, 0};
    for (auto _ : state) {
        auto a = histstats::analyse(data.data(), n, total, 1e-12, window, logs.data());
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(histogram_statistics_only)->Arg(1048576)->Unit(benchmark::kMicrosecond);

void histogram_text_to_chars(benchmark::State &state)
{
    const auto n = std::size_t(state.range(0));
    const auto counts = sampleBlock(n, 4);
    const std::vector<double> data(counts.begin(), counts.end());
    std::string text;
    for (auto _ : state) {
        text.clear();
        histfile::appendHistogramBlock(text, "Histogram 0", -3e-9, 1e-12, data.data(), n);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(n));
}
BENCHMARK(histogram_text_to_chars)->Arg(65536)->Unit(benchmark::kMicrosecond);

void histogram_text_printf(benchmark::State &state)
{
    const auto n = std::size_t(state.range(0));
    const auto counts = sampleBlock(n, 4);
    const std::vector<double> data(counts.begin(), counts.end());
    std::string text;
    char line[96];
    for (auto _ : state) {
        text.clear();
        text += "# ---------- Histogram 0 ---------- #\n# Bin value [s], Counts\n";
        for (std::size_t i = 0; i < n; ++i) {
            const int k = std::snprintf(line, sizeof line, "%g,%llu\n", -3e-9 + double(i + 1) * 1e-12,
                                        static_cast<unsigned long long>(data[i]));
            text.append(line, std::size_t(k));
        }
        text += "# ---------------------------------------- #\n\n";
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(n));
}
BENCHMARK(histogram_text_printf)->Arg(65536)->Unit(benchmark::kMicrosecond);

// Prints as usual and keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;
    std::map<std::string, double> cpuTimes;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (!run.error_occurred) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
                cpuTimes[run.benchmark_name()] = run.GetAdjustedCPUTime();
            }
    }
};

double argument(int &argc, char **argv, const char *name, double fallback)
{
    const std::size_t len = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], name, len) == 0 && argv[i][len] == '=') {
            const double v = std::atof(argv[i] + len + 1);
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            return v;
        }
    }
    return fallback;
}

bool flag(int &argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            return true;
        }
    }
    return false;
}

void printRun(const char *title, const LiveRunResult &r, bool files)
{
    std::printf("\n%s\n", title);
    std::printf("  seconds               %.1f\n", r.seconds);
    std::printf("  windows delivered     %llu\n", static_cast<unsigned long long>(r.windowsDelivered));
    std::printf("  blocks dropped        %llu (GUI thread too far behind)\n",
                static_cast<unsigned long long>(r.droppedBlocks));
    if (files) {
        std::printf("  windows exported      %llu\n", static_cast<unsigned long long>(r.windowsExported));
        std::printf("  lostWindows           %u\n", r.lostWindows);
        std::printf("  most windows behind   %llu\n", static_cast<unsigned long long>(r.maxLagWindows));
        std::printf("  files                 %llu (%.1f per s)\n", static_cast<unsigned long long>(r.files),
                    r.files / r.seconds);
        std::printf("  bytes                 %llu (%.1f MB/s)\n", static_cast<unsigned long long>(r.bytes),
                    r.bytes / r.seconds / 1e6);
        std::printf("  most files queued     %zu\n", r.maxWriterBacklog);
    }
    std::printf("  GUI thread busy       %.1f %%\n", 100 * r.guiBusyShare);
    std::printf("  worst 10 ms timer     %.1f ms late\n", r.maxTimerLatenessMs);
}
} // namespace

int main(int argc, char **argv)
{
    const double ttSeconds = argument(argc, argv, "--tt-seconds", 60);
    const double liveSeconds = argument(argc, argv, "--live-seconds", 20);
    const bool noRuns = flag(argc, argv, "--no-runs");
    const bool keepFiles = flag(argc, argv, "--keep-files");
    QCoreApplication app(argc, argv);
    // The wrappers' parameter log lines are of no interest here.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char *n : {"4096", "65536", "1048576"}) {
        const auto u = reporter.times.find(std::string("histogram_update/") + n);
        const auto m = reporter.times.find(std::string("memcpy_same_bytes/") + n);
        if (u != reporter.times.end() && m != reporter.times.end())
            std::printf("histogram_update/%s = %.2f x memcpy of the same bytes (real time), %.2f x (CPU time), "
                        "%.2f ns CPU per bin\n",
                        n, u->second / m->second, reporter.cpuTimes[u->first] / reporter.cpuTimes[m->first],
                        reporter.cpuTimes[u->first] * 1e3 / std::atof(n));
    }
    const auto t = reporter.times.find("histogram_text_to_chars/65536");
    const auto p = reporter.times.find("histogram_text_printf/65536");
    if (t != reporter.times.end() && p != reporter.times.end())
        std::printf("histogram text block of 2^16 bins: to_chars %.2f x faster than printf\n", p->second / t->second);
    if (noRuns)
        return 0;

    LiveRunOptions tt;
    tt.seconds = ttSeconds;
    tt.keepFiles = keepFiles;
    printRun(keepFiles ? "time-trigger run: 4 histograms x 2^16 bins, 20 ms windows, CSV files, all kept on disk"
                       : "time-trigger run: 4 histograms x 2^16 bins, 20 ms windows, CSV files, deleted once counted",
             runLive(tt), true);
    LiveRunOptions live;
    live.windowMs = 50;
    live.seconds = liveSeconds;
    live.timeTrigger = false;
    printRun("live display: 4 histograms x 2^16 bins, 50 ms refresh", runLive(live), false);
    return 0;
}
