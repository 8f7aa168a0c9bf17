// Histogram blocks through the whole stack (board model, virtual FT60x link, vetra, tdc) and
// the virtual board's share of a core with every module running.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>

#include <kestrane/virtualdevice.h>
#include <kestrane/wire.h>

#include "modules/counter/countermodule.h"
#include "modules/histogrammer/histogrammermodule.h"

#include "tdc/tdcbackend.h"
#include "tdc/tdcfennick.h"
#include "tdc/tdchistogrammermodule.h"

using namespace std::chrono_literals;

namespace {

DeviceMap histogramBoard()
{
    static const std::string serial = "TDC-BENCH-H";
    static const bool added = kestrane::addVirtualBoard(
        serial, std::make_shared<kestrane::VirtualDevice>(std::make_unique<kestrane::Board>()));
    (void)added;
    TDCBackend backend;
    for (const auto &d : backend.getDevices().first)
        if (d.count("serialNumber") && d.at("serialNumber") == serial)
            return d;
    return {};
}

std::vector<TDCHistogrammerModule *> histogrammers(TDCBackend &backend)
{
    std::vector<TDCHistogrammerModule *> out;
    for (auto *m : backend.getModules())
        if (auto *h = dynamic_cast<TDCHistogrammerModule *>(m)) {
            // Every bin of the memory in use: 2^16 bins of 16 ps after the start.
            h->setRefCh({1, 1});
            h->setMeasCh({2, 1});
            h->setBoundsRaw({0, 16, 16 * static_cast<std::int64_t>(h->memoryBins)});
            out.push_back(h);
        }
    return out;
}

struct Tally {
    std::mutex m;
    std::condition_variable cv;
    std::uint64_t blocks = 0;
    std::uint64_t lost = 0;
    std::vector<std::uint32_t> last;
};

// Four histogrammers, each with windows of range(0) microseconds.
void HistogramBlocks(benchmark::State &state)
{
    TDCBackend backend;
    if (backend.open(histogramBoard(), {}, 2000ms)) {
        state.SkipWithError("cannot open the virtual board");
        return;
    }
    backend.loadModules(0);
    auto hists = histogrammers(backend);
    if (hists.size() != 4 || hists[0]->getBoundsRaw().right != 16 * std::int64_t(65536)) {
        state.SkipWithError("the board does not have four 2^16-bin histogrammers");
        return;
    }
    Tally tally;
    tally.last.assign(hists.size(), 0);
    for (std::size_t i = 0; i < hists.size(); ++i)
        hists[i]->setCallback([&tally, i](const std::vector<std::uint64_t> &counts, TDCHistogrammerModule::Status s) {
            benchmark::DoNotOptimize(counts.data());
            {
                std::lock_guard<std::mutex> lock(tally.m);
                ++tally.blocks;
                if (tally.last[i] != 0 && s.windowIndex > tally.last[i] + 1)
                    tally.lost += s.windowIndex - tally.last[i] - 1;
                tally.last[i] = s.windowIndex;
            }
            tally.cv.notify_one();
        });
    const std::chrono::duration<double> period(static_cast<double>(state.range(0)) * 1e-6);
    TDCHistogrammerModule::Group group;
    for (auto *h : hists)
        group.addHistogram(*h);
    group.enable(period, 0);
    std::uint64_t seen = 0;
    for (auto _ : state) {
        std::unique_lock<std::mutex> lock(tally.m);
        if (!tally.cv.wait_for(lock, 5s, [&] { return tally.blocks > seen; })) {
            state.SkipWithError("blocks stopped");
            break;
        }
        seen = tally.blocks;
    }
    group.disable(true);
    for (auto *h : hists)
        h->setCallback({});
    state.counters["blocks/s"] = benchmark::Counter(static_cast<double>(seen), benchmark::Counter::kIsRate);
    state.counters["asked blocks/s"] = 4.0 / period.count();
    state.counters["lost windows"] = static_cast<double>(tally.lost);
}
BENCHMARK(HistogramBlocks)->Name("histogram_blocks")->Arg(20000)->Arg(1000)->UseRealTime()->MinTime(3.0);

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// CPU seconds of this process's threads with the given name (the kernel's per-thread
// accounting, in clock ticks).
double threadCpuSeconds(const std::string &name)
{
    static const double tick = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    double total = 0;
    std::error_code ec;
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream comm(task.path() / "comm");
        std::string taskName;
        std::getline(comm, taskName);
        if (taskName != name)
            continue;
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // After the name in parentheses: state, then 10 fields up to utime and stime.
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string skip;
        for (int i = 0; i < 11; ++i)
            fields >> skip;
        double user = 0, system = 0;
        fields >> user >> system;
        total += (user + system) * tick;
    }
    return total;
}

// Five seconds of wall time: the share of one core the whole process used, and that of the
// board's own pacing thread.
struct Shares {
    double process = 0;
    double board = 0;
};

Shares measureShares()
{
    const double cpu0 = cpuSeconds();
    const double board0 = threadCpuSeconds(kestrane::Board::pacingThreadName);
    const auto wall0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(5s);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall0;
    return {(cpuSeconds() - cpu0) / wall.count(),
            (threadCpuSeconds(kestrane::Board::pacingThreadName) - board0) / wall.count()};
}

// The built-in profile with both counters pushing every 0.2 s and four histogrammers at
// 50 ms windows, for five seconds of wall time. Two figures: the whole process (the host side,
// link, library and callbacks, runs in the same process and is included), and the board's
// pacing thread alone, which makes the events, runs the modules and frames what they push.
// Register requests are served on the host's writing thread and count to the process only.
void BoardCpuShare(benchmark::State &state)
{
    TDCBackend backend;
    if (backend.open(histogramBoard(), {}, 2000ms)) {
        state.SkipWithError("cannot open the virtual board");
        return;
    }
    backend.loadModules(0);
    std::atomic<std::uint64_t> delivered{0};
    for (auto *m : backend.getModules())
        if (auto *c = dynamic_cast<TDCFennick *>(m)) {
            c->setCallback([&](std::mutex &, std::chrono::duration<double>, const std::vector<std::uint32_t> &) {
                ++delivered;
            });
            c->setIntegrationTime(0.2);
            c->setAutoPush(true);
        }
    auto hists = histogrammers(backend);
    for (auto *h : hists) {
        h->setCallback([&](const std::vector<std::uint64_t> &, TDCHistogrammerModule::Status) { ++delivered; });
        h->enable(50ms, 0);
    }
    Shares shares;
    for (auto _ : state)
        shares = measureShares();
    for (auto *h : hists) {
        h->disable(true);
        h->setCallback({});
    }
    for (auto *m : backend.getModules())
        if (auto *c = dynamic_cast<TDCFennick *>(m)) {
            c->setAutoPush(false);
            c->setCallback({});
        }
    state.counters["process share of one core"] = shares.process;
    state.counters["board thread share"] = shares.board;
    state.counters["deliveries"] = static_cast<double>(delivered.load());
}
BENCHMARK(BoardCpuShare)->Name("board_cpu_share")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// The board alone, without a host: the same modules running, every packet framed for the wire
// as the virtual device does and then dropped. The pacing thread is the only one working.
void BoardOnlyCpuShare(benchmark::State &state)
{
    using H = kestrane::HistogrammerModule;
    using C = kestrane::CounterModule;
    kestrane::Board board;
    std::atomic<std::uint64_t> bytes{0};
    board.setOutput([&](std::uint8_t stream, const std::vector<std::uint32_t> &payload) {
        bytes += kestrane::wire::encode(stream, payload).size();
    });
    for (const std::uint32_t c : {kestrane::Board::processedCounterBase, kestrane::Board::inputCounterBase}) {
        board.writeWord(c + C::regIntegrationUs, 200000);
        board.writeWord(c + C::regControl, C::controlAutoPush);
    }
    for (std::uint32_t i = 0; i < board.profile().histogrammers; ++i) {
        const std::uint32_t h = kestrane::Board::histogrammerBase + i * kestrane::Board::histogrammerStride;
        board.writeWord(h + H::regRef, 1 | (1 << 16));
        board.writeWord(h + H::regMeas, 2 | (1 << 16));
        const std::uint32_t bounds[6] = {0, 0, 16, 0, 16 * board.profile().histogramBins, 0};
        for (std::uint32_t w = 0; w < 6; ++w)
            board.writeWord(h + H::regLeft + w, bounds[w]);
        board.writeWord(h + H::regPeriodUs, 50000);
        board.writeWord(h + H::regCommand, H::enableRun);
    }
    board.start();
    Shares shares;
    for (auto _ : state)
        shares = measureShares();
    board.stop();
    state.counters["process share of one core"] = shares.process;
    state.counters["board thread share"] = shares.board;
    state.counters["wire MB/s"] = static_cast<double>(bytes.load()) / 1e6 / 5.0;
}
BENCHMARK(BoardOnlyCpuShare)->Name("board_cpu_share_board_only")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

} // namespace
