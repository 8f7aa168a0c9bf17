// Throughput of the link's hot paths. Compare each figure with memcpy/65536 from the same
// run: absolute numbers swing with the machine's load.

#include "memory_transport.h"
#include "mme/mme.h"
#include "pte/pte.h"

#include <vetra/crc32c.h>
#include <vetra/multicobs.h>
#include <vetra/packet_codec.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

namespace {

constexpr std::size_t block_bytes = 65536;

// The engine benchmarks run on two threads (the caller and the transport's); their rates are
// taken over wall-clock time, with the CPU time of the whole process beside them, so that a
// loaded machine shows as CPU time well below wall time.
class engine_clock {
public:
    engine_clock() : wall_(std::chrono::steady_clock::now()), cpu_(process_cpu()) {}

    void report(benchmark::State &state, double items, double bytes_per_item) const
    {
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
        const double cpu = process_cpu() - cpu_;
        state.counters["items_per_second"] = items / wall;
        if (bytes_per_item > 0)
            state.counters["bytes_per_second"] = items * bytes_per_item / wall;
        state.counters["process_cpu_ns_per_item"] = items > 0 ? cpu * 1e9 / items : 0.0;
    }

private:
    static double process_cpu()
    {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    }

    std::chrono::steady_clock::time_point wall_;
    double cpu_;
};

std::vector<std::uint32_t> random_words(std::size_t count, std::uint32_t seed = 1)
{
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> words(count);
    for (auto &w : words)
        w = rng();
    return words;
}

void bench_memcpy(benchmark::State &state)
{
    const auto source = random_words(block_bytes / 4);
    std::vector<std::uint8_t> target(block_bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), block_bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(block_bytes));
}

void bench_crc(benchmark::State &state, std::uint32_t (*crc)(std::uint32_t, const void *, std::size_t))
{
    const auto data = random_words(block_bytes / 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc(0, data.data(), block_bytes));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(block_bytes));
}

void bench_encode(benchmark::State &state)
{
    const auto words = random_words(block_bytes / 4);
    std::vector<std::uint8_t> out(multicobs::max_encoded_size(words.size()));
    const multicobs::const_words part{words.data(), words.size()};
    for (auto _ : state) {
        benchmark::DoNotOptimize(multicobs::encode(&part, 1, out.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(block_bytes));
}

void bench_decode(benchmark::State &state)
{
    const auto words = random_words(block_bytes / 4);
    const std::vector<std::uint8_t> encoded = multicobs::encode({{words.data(), words.size()}});
    std::vector<std::uint32_t> decoded;
    decoded.reserve(encoded.size() / 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(multicobs::decode(encoded.data(), encoded.size(), nullptr, 0, decoded));
        benchmark::ClobberMemory();
    }
    if (decoded != words)
        state.SkipWithError("decoded words differ");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(block_bytes));
}

// 256-word packets through the whole engine: encoded on this thread, written, looped back,
// received, decoded, checked and handed to a handler on the transport's thread.
void bench_pte_loopback(benchmark::State &state)
{
    constexpr std::size_t packet_words = 256;
    // Packets in flight at most; the sender is woken only every `batch` packets so that the
    // figure measures the engine, not thread wake-ups.
    constexpr std::uint64_t window = 512;
    constexpr std::uint64_t batch = 64;

    std::mutex mutex;
    std::condition_variable progressed;
    std::atomic<std::uint64_t> received{0};
    std::atomic<std::uint64_t> failures{0};

    auto transport = std::make_unique<memory_transport>(true, std::size_t(1) << 20, false);
    pte engine(
        std::move(transport),
        [&](std::uint8_t, pte::buffer_list) {
            if (received.fetch_add(1, std::memory_order_release) % batch == batch - 1) {
                std::lock_guard<std::mutex> lock(mutex);
                progressed.notify_one();
            }
        },
        [&](std::error_code, pte::buffer_list) { ++failures; });
    if (engine.open("loopback", {})) {
        state.SkipWithError("open failed");
        return;
    }
    const auto payload = std::make_shared<const std::vector<std::uint32_t>>(random_words(packet_words));

    std::uint64_t sent = 0;
    const engine_clock clock;
    for (auto _ : state) {
        if (sent - received.load(std::memory_order_acquire) >= window) {
            std::unique_lock<std::mutex> lock(mutex);
            progressed.wait(lock, [&] { return sent - received.load(std::memory_order_acquire) < window; });
        }
        engine.send_packet(1, {payload}, nullptr);
        ++sent;
    }
    while (received.load(std::memory_order_acquire) != sent) {
        std::unique_lock<std::mutex> lock(mutex);
        progressed.wait_for(lock, std::chrono::milliseconds(1));
    }
    clock.report(state, double(sent), double(packet_words * 4));
    if (failures != 0)
        state.SkipWithError("packets failed");
}

// A board that answers every read request at once with `count` words and status 8.
void answer_reads(memory_transport &transport, const std::vector<std::uint8_t> &request)
{
    packet_codec::packet p;
    if (packet_codec::decode(request.data(), request.size(), p) || p.payload.size() < 3)
        return;
    const std::uint32_t count = p.payload[2] & 0x1FFFFF;
    std::vector<std::uint32_t> response{p.payload[0], p.payload[1], p.payload[2]};
    for (std::uint32_t k = 0; k < count; ++k)
        response.push_back(p.payload[1] + k);
    response.push_back(8);
    transport.feed(packet_codec::encode(p.stream, response));
}

// Four-word reads through the memory engine and the packet engine to a board that answers
// at once; many requests in flight, matched by id.
void bench_mme_pipelined_reads(benchmark::State &state)
{
    constexpr std::uint64_t window = 64;
    std::mutex mutex;
    std::condition_variable progressed;
    std::uint64_t answered = 0;
    std::atomic<std::uint64_t> failures{0};

    auto owned = std::make_unique<memory_transport>(false, std::size_t(1) << 20, false);
    memory_transport *transport = owned.get();
    transport->set_peer([transport](const std::vector<std::uint8_t> &bytes) { answer_reads(*transport, bytes); });
    pte engine(std::move(owned), nullptr, [&](std::error_code, pte::buffer_list) { ++failures; });
    if (engine.open("board", {})) {
        state.SkipWithError("open failed");
        return;
    }
    mme memory(engine, 1, 2, std::chrono::milliseconds(10000));
    const mme_common::read_handler handler = [&](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>> data,
                                                 mme_common::BurstType, std::error_code error, std::uint32_t) {
        if (error || !data || data->size() != 4)
            ++failures;
        std::lock_guard<std::mutex> lock(mutex);
        ++answered;
        progressed.notify_one();
    };

    std::uint64_t issued = 0;
    const engine_clock clock;
    for (auto _ : state) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            progressed.wait(lock, [&] { return issued - answered < window; });
        }
        memory.read(0x1000, 4, mme_common::BurstType::INCREMENTING, handler, nullptr);
        ++issued;
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        progressed.wait(lock, [&] { return answered == issued; });
    }
    clock.report(state, double(issued), 0);
    if (failures != 0)
        state.SkipWithError("transactions failed");
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::RegisterBenchmark("memcpy/65536", bench_memcpy);
    benchmark::RegisterBenchmark("crc32c/65536", bench_crc, crc32c::extend);
    benchmark::RegisterBenchmark("crc32c_table/65536", bench_crc, crc32c::extend_table);
    if (crc32c::hardware_available()) // the three-chain instruction path on its own
        benchmark::RegisterBenchmark("crc32c_sse42/65536", bench_crc, crc32c::extend_hardware);
    benchmark::RegisterBenchmark("multicobs_encode/65536", bench_encode);
    benchmark::RegisterBenchmark("multicobs_decode/65536", bench_decode);
    benchmark::RegisterBenchmark("pte_loopback", bench_pte_loopback);
    benchmark::RegisterBenchmark("mme_pipelined_reads", bench_mme_pipelined_reads);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
