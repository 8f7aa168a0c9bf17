// tdc-bench: the in-process virtual board's time tagger streaming to a file, at a range of
// input rates; the highest rate with zero loss is the figure to read.

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include <unistd.h>

#include <kestrane/virtualdevice.h>

#include "tdc/dorrin.h"
#include "tdc/tdcbackend.h"

namespace {

std::string benchDir()
{
    const char *d = std::getenv("TDC_BENCH_DIR");
    return d && *d ? d : ".";
}

void virtual_board_to_file(benchmark::State &state)
{
    // 0: the built-in profile as it is; else that many events per second over the inputs.
    kestrane::Profile p = kestrane::defaultProfile();
    double rate = 0;
    if (state.range(0) > 0) {
        rate = static_cast<double>(state.range(0));
        p.rates.assign(p.inputs, rate / p.inputs);
        p.pairs.clear();
        p.deadTime = 0;
    } else {
        for (std::uint32_t c = 1; c < p.channels(); ++c)
            rate += p.processedRate(c);
    }
    const std::string serial = "TAG-BENCH-" + std::to_string(state.range(0) / 1000);
    kestrane::addVirtualBoard(serial, std::make_shared<kestrane::VirtualDevice>(std::make_unique<kestrane::Board>(p)));
    TDCBackend backend;
    DeviceMap device;
    for (const auto &d : backend.getDevices().first)
        if (d.count("serialNumber") && d.at("serialNumber") == serial)
            device = d;
    if (device.empty() || backend.open(device, {}, std::chrono::milliseconds(5000))) {
        state.SkipWithError("cannot open the virtual board");
        return;
    }
    backend.loadModules(0);
    Dorrin *tagger = nullptr;
    for (auto *m : backend.getModules())
        if ((tagger = dynamic_cast<Dorrin *>(m)))
            break;
    if (!tagger) {
        state.SkipWithError("no time tagger");
        return;
    }
    const std::string path = benchDir() + "/bench-virtual.bin";
    Dorrin::ChannelMap channels;
    for (std::uint8_t c = 1; c <= p.inputs; ++c)
        channels[c] = TDCChannel::RISING;
    std::uint64_t captured = 0, lost = 0, bytes = 0;
    double seconds = 0;
    for (auto _ : state) {
        Dorrin::file_writer w(path, 0, false, tagger, 1, 0, std::chrono::seconds(0), {});
        const auto start = std::chrono::steady_clock::now();
        tagger->enable([&w](const std::vector<Dorrin::measurement> &b) { w.write(b); }, 0, channels, 0);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        tagger->disable();
        tagger->queue_waitEmpty(std::chrono::milliseconds(0));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        w.flush();
        captured += tagger->captured_events();
        lost += tagger->lost_events() + w.lost_events();
        bytes += w.bytes_written();
    }
    ::unlink(path.c_str());
    state.SetItemsProcessed(static_cast<std::int64_t>(captured));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["offered/s"] = rate;
    state.counters["captured/s"] = static_cast<double>(captured) / seconds;
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["bytes/tag"] = captured ? static_cast<double>(bytes) / static_cast<double>(captured) : 0.0;
}
BENCHMARK(virtual_board_to_file)
    ->Arg(0)->Arg(100'000)->Arg(1'000'000)->Arg(3'000'000)->Arg(10'000'000)->Arg(20'000'000)->Arg(40'000'000)
    ->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
