// tdc-bench: how fast the whole stack runs against the virtual board in-process:
// memory reads through tdc's link, vetra, the FT60x virtual device and the board model, and
// counter samples delivered to a callback.

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include <kestrane/virtualdevice.h>
#include <vetra/vetra.h>

#include "tdc/tdcbackend.h"
#include "tdc/tdcfennick.h"
#include "tdclink.h"

using namespace std::chrono_literals;

namespace {

const std::string serial = "TDC-BENCH-0";

DeviceMap benchDevice()
{
    static const bool added = kestrane::addVirtualBoard(
        serial, std::make_shared<kestrane::VirtualDevice>(std::make_unique<kestrane::Board>()));
    (void)added;
    TDCBackend backend;
    for (const auto &d : backend.getDevices().first)
        if (d.count("serialNumber") && d.at("serialNumber") == serial)
            return d;
    return {};
}

void BM_MemoryRead(benchmark::State &state)
{
    TDCLink link;
    if (link.open(benchDevice(), {}, 1000ms)) {
        state.SkipWithError("cannot open the virtual board");
        return;
    }
    const auto words = static_cast<std::uint32_t>(state.range(0));
    std::vector<std::uint32_t> out;
    for (auto _ : state) {
        if (link.read(0x1000 + 0x20, words, out)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * words * 4);
    state.counters["reads/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MemoryRead)->Arg(1)->Arg(16)->Arg(224)->UseRealTime();

// Many reads in flight at once, as a module reading a large memory would issue them: the
// link's throughput rather than its round-trip time.
void BM_PipelinedReads(benchmark::State &state)
{
    vetra link;
    if (link.open(benchDevice(), {}, 1, 2)) {
        state.SkipWithError("cannot open the virtual board");
        return;
    }
    link.setTimeout(2000ms);
    const auto inFlight = static_cast<int>(state.range(0));
    std::mutex m;
    std::condition_variable cv;
    int pending = 0;
    std::uint64_t failed = 0;
    auto done = [&](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>>, mme_common::BurstType,
                    std::error_code ec, std::uint32_t) {
        {
            std::lock_guard<std::mutex> lock(m);
            --pending;
            if (ec)
                ++failed;
        }
        cv.notify_one();
    };
    for (auto _ : state) {
        {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return pending < inFlight; });
            ++pending;
        }
        link.asyncRead(0x1020, 1, mme_common::BurstType::INCREMENTING, done, {});
    }
    std::unique_lock<std::mutex> lock(m);
    cv.wait_for(lock, 5s, [&] { return pending == 0; });
    if (failed)
        state.SkipWithError("reads failed");
    state.counters["reads/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PipelinedReads)->Arg(8)->Arg(64)->UseRealTime();

void BM_CounterSamples(benchmark::State &state)
{
    TDCBackend backend;
    if (backend.open(benchDevice(), {}, 2000ms)) {
        state.SkipWithError("cannot open the virtual board");
        return;
    }
    backend.loadModules(0);
    TDCFennick *counter = nullptr;
    for (auto *m : backend.getModules())
        if ((counter = dynamic_cast<TDCFennick *>(m)))
            break;
    std::mutex m;
    std::condition_variable cv;
    std::uint64_t delivered = 0;
    counter->setCallback([&](std::mutex &, std::chrono::duration<double>, const std::vector<std::uint32_t> &) {
        {
            std::lock_guard<std::mutex> lock(m);
            ++delivered;
        }
        cv.notify_one();
    });
    const double t = static_cast<double>(state.range(0)) * 1e-6;
    counter->setIntegrationTime(t);
    counter->setAutoPush(true);
    std::uint64_t seen = 0;
    for (auto _ : state) {
        std::unique_lock<std::mutex> lock(m);
        if (!cv.wait_for(lock, 5s, [&] { return delivered > seen; })) {
            state.SkipWithError("samples stopped");
            break;
        }
        seen = delivered;
    }
    counter->setAutoPush(false);
    state.counters["samples/s"] = benchmark::Counter(static_cast<double>(seen), benchmark::Counter::kIsRate);
    state.counters["board rate"] = 1.0 / t;
}
BENCHMARK(BM_CounterSamples)->Arg(100)->Arg(1000)->UseRealTime()->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
