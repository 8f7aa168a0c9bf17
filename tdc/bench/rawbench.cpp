// tdc-bench: the time-tag path from wire to disk. A captured stream of framed tag packets is
// replayed from memory through frame decoding, tag decoding, batches and the file writer to a
// file in the benchmark folder (TDC_BENCH_DIR, else the current folder), beside a plain
// write(2) of the same bytes to the same folder: the disk's own limit in the same run.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <kestrane/profile.h>
#include <kestrane/wire.h>
#include <vetra/packet_codec.h>

#include "modules/tagger/tagencoder.h"
#include "tagdecoder.h"
#include "tagpipeline.h"
#include "tdc/dorrin.h"
#include "tdc/rawformat.h"

namespace {

namespace kw = kestrane::tagwire;

constexpr std::size_t packetWords = 16384;

double processCpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Waits until the file's bytes are on the disk: what both the pipeline and the plain writes are
// timed to, so that the comparison is with the disk and not with the page cache.
void onDisk(benchmark::State &state, const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fdatasync(fd) != 0)
        state.SkipWithError("cannot sync the file");
    if (fd >= 0)
        ::close(fd);
}

// Removes the last run's file outside the timing: a recording starts a new file, it does not
// truncate one just written, which waits for the disk to finish writing its pages first.
void dropUntimed(benchmark::State &state, const std::string &path)
{
    state.PauseTiming();
    ::unlink(path.c_str());
    state.ResumeTiming();
}

std::string benchDir()
{
    const char *d = std::getenv("TDC_BENCH_DIR");
    return d && *d ? d : ".";
}

// Poisson streams of the given rates (events/s) over `tags` tags in picoseconds, as framed
// stream-3 packets.
struct Capture {
    std::vector<std::uint8_t> framed;
    std::vector<std::pair<std::size_t, std::size_t>> frames; // offset and size, delimiter excluded
    std::size_t tags = 0;

    // What the host's packet engine does with each frame: the header word apart, the payload
    // into a fresh buffer (which the engine hands on), the CRC checked.
    template <typename Handler> bool replay(Handler &&handler) const
    {
        for (const auto &[at, size] : frames) {
            std::uint32_t header = 0;
            std::vector<std::uint32_t> payload;
            const packet_codec::storage into{&header, nullptr, 0, &payload};
            if (packet_codec::decode(packet_codec::frame{framed.data() + at, size}, into) ||
                packet_codec::verify(into))
                return false;
            handler(std::move(payload));
        }
        return true;
    }
};

Capture makeCapture(const std::vector<double> &rates, std::size_t tags)
{
    double total = 0;
    for (double r : rates)
        total += r;
    std::mt19937_64 rng(42);
    std::exponential_distribution<double> gap(total * 1e-12);
    std::discrete_distribution<int> channel(rates.begin(), rates.end());
    Capture c;
    c.tags = tags;
    kw::Encoder e;
    std::vector<std::uint32_t> packet;
    double t = 0;
    for (std::size_t i = 0; i < tags; ++i) {
        t += gap(rng);
        const auto time = static_cast<std::uint64_t>(t);
        if (packet.empty())
            e.begin(packet, time);
        e.add(packet, {time, static_cast<std::uint8_t>(channel(rng)), kw::rising});
        if (packet.size() >= packetWords || i + 1 == tags) {
            const auto frame = kestrane::wire::encode(3, packet);
            c.frames.emplace_back(c.framed.size(), frame.size() - 4);
            c.framed.insert(c.framed.end(), frame.begin(), frame.end());
            packet.clear();
        }
    }
    return c;
}

// 80 M tags/s spread over eight inputs.
const Capture &fastCapture()
{
    // 32 M tags: 80 MB on disk, so that starting and ending a file weighs little.
    static const Capture c = makeCapture(std::vector<double>(8, 10e6), 32u << 20);
    return c;
}

// The rates of the built-in board profile, sync channel included.
const Capture &profileCapture()
{
    static const Capture c = [] {
        const auto p = kestrane::defaultProfile();
        std::vector<double> rates{p.syncPeriod > 0 ? 1.0 / p.syncPeriod : 0.0};
        for (std::uint32_t ch = 1; ch < p.channels(); ++ch)
            rates.push_back(p.inputRate(ch));
        return makeCapture(rates, 4u << 20);
    }();
    return c;
}

// The parts of the pipeline alone, on the decoded tags of the fast capture: where its time goes.
const std::vector<Dorrin::measurement> &fastTags()
{
    static const std::vector<Dorrin::measurement> tags = [] {
        std::vector<Dorrin::measurement> t;
        std::vector<Dorrin::loss> losses;
        fastCapture().replay([&](std::vector<std::uint32_t> payload) {
            std::size_t consumed = 0;
            tagwire::decode(payload.data(), payload.size(), t, losses, consumed);
        });
        return t;
    }();
    return tags;
}

void raw_block_encode(benchmark::State &state)
{
    const auto &tags = fastTags();
    constexpr std::size_t block = 65536;
    std::vector<std::uint8_t> out(tdcraw::maxBlockBytes(block, 0));
    std::uint64_t bytes = 0;
    // A few blocks over and over: in the pipeline the tags come straight from the decoder, in
    // the cache.
    constexpr std::size_t blocks = 4;
    for (auto _ : state) {
        std::uint8_t channelBits = 0;
        for (std::size_t at = 0; at < blocks * block; at += block)
            bytes += tdcraw::encodeBlock(tags.data() + at, block, nullptr, 0, out.data(), channelBits);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * blocks * block));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(raw_block_encode)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void tag_wire_decode(benchmark::State &state)
{
    std::vector<std::vector<std::uint32_t>> payloads;
    fastCapture().replay([&](std::vector<std::uint32_t> payload) { payloads.push_back(std::move(payload)); });
    std::vector<Dorrin::measurement> batch;
    std::vector<Dorrin::loss> losses;
    batch.reserve(TagPipeline::defaultBatchTags + packetWords);
    for (auto _ : state) {
        for (const auto &p : payloads) {
            std::size_t consumed = 0;
            tagwire::decode(p.data(), p.size(), batch, losses, consumed);
            if (batch.size() >= TagPipeline::defaultBatchTags)
                batch.clear();
        }
        batch.clear();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * fastCapture().tags));
}
BENCHMARK(tag_wire_decode)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The host's frame decoding alone (multiCOBS, CRC, payload buffers).
void tag_frame_decode(benchmark::State &state)
{
    std::size_t words = 0;
    for (auto _ : state)
        fastCapture().replay([&](std::vector<std::uint32_t> payload) { words += payload.size(); });
    benchmark::DoNotOptimize(words);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * fastCapture().tags));
}
BENCHMARK(tag_frame_decode)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Frames → packets → tags → batches → encoding on the calling thread; the writer's disk thread
// does the write(2) calls. "CPU" is the calling thread's time; "process_cpu_ms" per iteration
// counts both threads (and the kernel's copying into the page cache).
void runPipeline(benchmark::State &state, const Capture &capture, int format, const std::string &name,
                 bool untilOnDisk = false)
{
    const std::string path = benchDir() + "/" + name;
    const double cpuBefore = processCpuSeconds();
    std::uint64_t bytes = 0;
    std::uint64_t lost = 0;
    std::vector<Dorrin::measurement> batch;
    std::vector<Dorrin::loss> losses;
    batch.reserve(TagPipeline::defaultBatchTags + packetWords);
    for (auto _ : state) {
        dropUntimed(state, path);
        Dorrin::file_writer w(path, format, false, Dorrin::file_writer::description{1e-12, 9, "{}"}, 1, 0,
                              std::chrono::seconds(0), {});
        capture.replay([&](std::vector<std::uint32_t> payload) {
            std::size_t consumed = 0;
            tagwire::decode(payload.data(), payload.size(), batch, losses, consumed);
            if (batch.size() >= TagPipeline::defaultBatchTags) {
                w.write(batch);
                batch.clear();
            }
        });
        w.write(batch);
        batch.clear();
        w.flush();
        if (untilOnDisk)
            onDisk(state, path);
        bytes += w.bytes_written();
        lost += w.lost_events();
        if (w.tags_written() != capture.tags) {
            state.SkipWithError("tags went missing");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * capture.tags));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["bytes/tag"] = static_cast<double>(bytes) / static_cast<double>(state.iterations() * capture.tags);
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["process_cpu_ms"] = (processCpuSeconds() - cpuBefore) * 1e3 / static_cast<double>(state.iterations());
    ::unlink(path.c_str());
}

void tags_to_file(benchmark::State &state) { runPipeline(state, fastCapture(), 0, "bench-tags.bin"); }
BENCHMARK(tags_to_file)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The same, timed until the bytes are on the disk (compare with raw_file_write_on_disk).
void tags_to_file_on_disk(benchmark::State &state) { runPipeline(state, fastCapture(), 0, "bench-tags.bin", true); }
BENCHMARK(tags_to_file_on_disk)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void tags_to_file_profile(benchmark::State &state) { runPipeline(state, profileCapture(), 0, "bench-profile.bin"); }
BENCHMARK(tags_to_file_profile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void tags_to_csv(benchmark::State &state) { runPipeline(state, fastCapture(), 1, "bench-tags.csv"); }
BENCHMARK(tags_to_csv)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The same capture through the capture queue: the frame reader stands in for the link's
// receive thread, decoding and writing run on the capture thread.
void tags_to_file_queued(benchmark::State &state)
{
    const Capture &capture = fastCapture();
    const std::string path = benchDir() + "/bench-queued.bin";
    std::uint64_t bytes = 0;
    std::uint64_t lost = 0;
    for (auto _ : state) {
        dropUntimed(state, path);
        auto w = std::make_unique<Dorrin::file_writer>(path, 0, false, Dorrin::file_writer::description{1e-12, 9, "{}"},
                                                       1, 0, std::chrono::seconds(0), Dorrin::file_writer::Clock{});
        {
            // A queue that holds the whole capture: the replay does not wait for the decoder.
            TagPipeline pipeline([&](const std::vector<Dorrin::measurement> &b) { w->write(b); }, 0,
                                 capture.frames.size());
            capture.replay([&](std::vector<std::uint32_t> payload) {
                pipeline.push(std::make_unique<std::vector<std::uint32_t>>(std::move(payload)));
            });
            pipeline.waitEmpty(std::chrono::milliseconds(0));
            lost += pipeline.lost();
        }
        w->flush();
        bytes += w->bytes_written();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * capture.tags));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["lost"] = static_cast<double>(lost);
    ::unlink(path.c_str());
}
BENCHMARK(tags_to_file_queued)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// write(2) of the bytes tags_to_file writes, in blocks of the size it writes, to the same folder:
// into the page cache, or (on_disk) until they are on the disk, the disk's own limit.
void plainWrites(benchmark::State &state, bool untilOnDisk)
{
    const std::string path = benchDir() + "/bench-raw.bin";
    std::string content;
    {
        Dorrin::file_writer w(path, 0, false, Dorrin::file_writer::description{1e-12, 9, "{}"}, 1, 0,
                              std::chrono::seconds(0), {});
        std::vector<Dorrin::measurement> batch;
        std::vector<Dorrin::loss> losses;
        fastCapture().replay([&](std::vector<std::uint32_t> payload) {
            std::size_t consumed = 0;
            tagwire::decode(payload.data(), payload.size(), batch, losses, consumed);
        });
        w.write(batch);
    }
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        content = s.str();
    }
    const std::size_t chunk = content.size() / ((fastCapture().tags + 65535) / 65536);
    for (auto _ : state) {
        dropUntimed(state, path);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (std::size_t at = 0; at < content.size(); at += chunk)
            if (::write(fd, content.data() + at, std::min(chunk, content.size() - at)) < 0)
                state.SkipWithError("write failed");
        if (untilOnDisk && ::fdatasync(fd) != 0)
            state.SkipWithError("cannot sync the file");
        ::close(fd);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * fastCapture().tags));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
    ::unlink(path.c_str());
}

void raw_file_write(benchmark::State &state) { plainWrites(state, false); }
BENCHMARK(raw_file_write)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void raw_file_write_on_disk(benchmark::State &state) { plainWrites(state, true); }
BENCHMARK(raw_file_write_on_disk)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

} // namespace
