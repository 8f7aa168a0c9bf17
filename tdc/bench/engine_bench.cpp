// The virtual board's event engine alone: events made by the signal model and read back in
// time order through one reader, on one core.

#include <benchmark/benchmark.h>

#include <kestrane/profile.h>

#include "signal/eventengine.h"

namespace {

kestrane::Profile busyProfile()
{
    kestrane::Profile p;
    std::string error;
    // Eight 10 MHz inputs and two correlated pairs: 160 M events per board second.
    kestrane::parseProfile(R"({"inputs": 8, "rates": [1e7, 1e7, 1e7, 1e7, 1e7, 1e7, 1e7, 1e7],
        "pulseWidth": 2e-9, "deadTime": 5e-9,
        "pairs": [{"from": 1, "to": 2, "delay": 12e-9, "jitter": 100e-12, "fraction": 0.5},
                  {"from": 3, "to": 4, "delay": 25e-9, "jitter": 50e-12, "fraction": 0.8}]})",
                           p, error);
    return p;
}

// Every edge of every channel, merged in time order, as the time tagger reads them.
void EventEngineAllChannels(benchmark::State &state)
{
    const auto p = busyProfile();
    kestrane::EventEngine engine(kestrane::makeEventSource(p, 1), p.channels(), p.minBinWidth);
    auto sel = kestrane::EventEngine::Selection::allRising(p.channels(), false);
    sel.falling = sel.rising;
    auto reader = engine.openReader(sel, 0);
    std::vector<kestrane::Event> buf(1 << 16);
    std::uint64_t t = 0, events = 0;
    const std::uint64_t step = 100000000; // 100 µs of board time
    for (auto _ : state) {
        t += step;
        std::size_t n;
        while ((n = reader->read(t, buf.data(), buf.size())) > 0) {
            events += n;
            benchmark::DoNotOptimize(buf.data());
            if (n < buf.size())
                break;
        }
    }
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
    state.counters["board s/s"] =
        benchmark::Counter(static_cast<double>(t) * p.minBinWidth, benchmark::Counter::kIsRate);
}
BENCHMARK(EventEngineAllChannels)->Name("event_engine")->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Rising edges only, each channel counted: what a counter does with them.
void EventEngineCounting(benchmark::State &state)
{
    const auto p = busyProfile();
    kestrane::EventEngine engine(kestrane::makeEventSource(p, 1), p.channels(), p.minBinWidth);
    auto reader = engine.openReader(kestrane::EventEngine::Selection::allRising(p.channels(), true), 0);
    std::vector<kestrane::Event> buf(1 << 16);
    std::vector<std::uint64_t> counts(p.channels(), 0);
    std::uint64_t t = 0, events = 0;
    for (auto _ : state) {
        t += 100000000;
        std::size_t n;
        while ((n = reader->read(t, buf.data(), buf.size())) > 0) {
            for (std::size_t i = 0; i < n; ++i)
                ++counts[buf[i].channel];
            events += n;
            if (n < buf.size())
                break;
        }
    }
    benchmark::DoNotOptimize(counts.data());
    state.counters["counted/s"] = benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
}
BENCHMARK(EventEngineCounting)->Name("event_engine_counting")->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace
