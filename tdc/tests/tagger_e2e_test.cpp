// The time tagger end to end on the in-process virtual board: tags reach files intact, a link
// too slow for the rate loses exactly what the board says and the files carry the markers,
// an unplugged board leaves readable files, and a recording replayed as the board's event
// source gives the counters the recording's counts.

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include <kestrane/profile.h>

#include "boards.h"
#include "tdc/dorrin.h"
#include "tdc/rawreader.h"
#include "tdc/tdcfennick.h"
#include "wait_scale.h"

using namespace std::chrono_literals;

namespace {

kestrane::Profile profile(const std::string &json)
{
    kestrane::Profile p;
    std::string error;
    if (!kestrane::parseProfile(json, p, error))
        throw std::runtime_error(error);
    return p;
}

template <class T> T *find(TDCBackend &backend)
{
    for (auto *m : backend.getModules())
        if (auto *t = dynamic_cast<T *>(m))
            return t;
    return nullptr;
}

struct Capture {
    std::unique_ptr<testboards::InProcessBoard> board;
    std::unique_ptr<TDCBackend> backend;
    Dorrin *tagger = nullptr;

    explicit Capture(const kestrane::Profile &p)
        : board(std::make_unique<testboards::InProcessBoard>(p)), backend(std::make_unique<TDCBackend>())
    {
        if (backend->open(board->device(*backend), {}, 5000ms))
            throw std::runtime_error("cannot open the board");
        backend->loadModules(0);
        tagger = find<Dorrin>(*backend);
    }
};

struct Series {
    std::vector<Dorrin::measurement> tags;
    std::vector<Dorrin::loss> markers;
    std::error_code error;
};

Series readAll(const std::vector<std::string> &files)
{
    Series s;
    for (const auto &f : files) {
        tdcraw::Reader r;
        if ((s.error = r.open(f)))
            return s;
        for (bool end = false; !end;)
            if ((s.error = r.next(s.tags, s.markers, end)))
                return s;
    }
    return s;
}

std::string tempPath(const std::string &name)
{
    return "/tmp/tdc-tagger-" + testboards::uniqueSerial("f") + "-" + name;
}

} // namespace

TEST(TaggerEndToEnd, EveryTagOfTheBoardReachesTheFile)
{
    Capture c(profile(R"({"rates":[20000,20000,20000,20000,20000,20000,20000,20000]})"));
    ASSERT_NE(c.tagger, nullptr);
    EXPECT_EQ(c.tagger->numChannels(), 9u);
    EXPECT_DOUBLE_EQ(c.tagger->tagUnit(), 1e-12);
    const auto path = tempPath("all{:d}.bin");
    auto writer = std::make_unique<Dorrin::file_writer>(path, Dorrin::file_writer::binary, false, c.tagger, 0,
                                                        50'000, std::chrono::seconds(0), Dorrin::file_writer::Clock{});
    ASSERT_FALSE(c.tagger->enable([&](const std::vector<Dorrin::measurement> &b) { writer->write(b); }, 0,
                                  {{0, TDCChannel::RISING}, {1, TDCChannel::RISING}, {2, TDCChannel::FALLING}, {3, TDCChannel::BOTH}}, 0));
    std::this_thread::sleep_for(600ms);
    ASSERT_FALSE(c.tagger->disable());
    ASSERT_TRUE(c.tagger->queue_waitEmpty(0ms));
    writer->flush();
    const auto files = writer->files();
    writer.reset();

    EXPECT_EQ(c.tagger->lost_events(), 0u);
    // 0.6 s of 3600 Hz sync plus two inputs at 20 kHz and one on both edges
    EXPECT_GT(c.tagger->captured_events(), 30'000u);
    const auto s = readAll(files);
    ASSERT_FALSE(s.error) << s.error.message();
    EXPECT_GT(files.size(), 1u);
    EXPECT_EQ(s.tags.size(), c.tagger->captured_events());
    EXPECT_TRUE(s.markers.empty());
    std::map<std::pair<int, int>, std::size_t> seen;
    for (std::size_t i = 0; i < s.tags.size(); ++i) {
        ++seen[{s.tags[i].channel, s.tags[i].edge}];
        if (i) {
            ASSERT_LE(s.tags[i - 1].tag, s.tags[i].tag) << i;
        }
    }
    EXPECT_GT(seen[std::make_pair(0, 1)], 0u);
    EXPECT_GT(seen[std::make_pair(3, 2)], 0u);
    EXPECT_EQ(seen.count({2, 1}), 0u); // channel 2 falling only
    EXPECT_EQ(seen.count({0, 2}), 0u);
    EXPECT_EQ(seen.count({5, 1}), 0u);
    for (const auto &f : files)
        std::remove(f.c_str());
}

TEST(TaggerEndToEnd, ATooSlowLinkLosesExactlyWhatTheBoardCountsAndTheFileSaysSo)
{
    // 160 k tags/s into a link of 100 k tags/s, with a FIFO of 2000 tags.
    Capture c(profile(R"({"rates":[40000,40000,40000,40000,1,1,1,1], "tagFifo": 2000, "tagLinkRate": 400000})"));
    ASSERT_NE(c.tagger, nullptr);
    const auto path = tempPath("slow.bin");
    auto writer = std::make_unique<Dorrin::file_writer>(path, Dorrin::file_writer::binary, false, c.tagger, 1, 0,
                                                        std::chrono::seconds(0), Dorrin::file_writer::Clock{});
    ASSERT_FALSE(c.tagger->enable([&](const std::vector<Dorrin::measurement> &b) { writer->write(b); }, 0,
                                  {{1, TDCChannel::RISING}, {2, TDCChannel::RISING}, {3, TDCChannel::RISING}, {4, TDCChannel::RISING}}, 0));
    std::this_thread::sleep_for(500ms);
    ASSERT_FALSE(c.tagger->disable());
    ASSERT_TRUE(c.tagger->queue_waitEmpty(0ms));
    writer.reset();

    const auto s = readAll({path});
    ASSERT_FALSE(s.error) << s.error.message();
    std::uint64_t marked = 0;
    std::map<int, std::uint64_t> markedPerChannel;
    for (const auto &m : s.markers) {
        marked += m.count;
        markedPerChannel[m.channel] += m.count;
    }
    // The board's own counts, read from its registers without the wire.
    auto &board = c.board->virtualDevice().board();
    std::uint32_t base = 0;
    for (auto *mod : c.backend->getModules())
        if (mod == c.tagger)
            base = mod->baseAddress();
    auto word64 = [&](std::uint32_t offset) {
        std::uint32_t lo = 0, hi = 0;
        board.readWord(base + offset, lo);
        board.readWord(base + offset + 1, hi);
        return static_cast<std::uint64_t>(hi) << 32 | lo;
    };
    EXPECT_EQ(word64(0x0A), c.tagger->lost_events());
    EXPECT_EQ(word64(0x08), c.tagger->captured_events());
    EXPECT_GT(c.tagger->lost_events(), 10'000u);
    EXPECT_EQ(marked, c.tagger->lost_events());
    for (std::uint8_t ch = 1; ch <= 4; ++ch) {
        EXPECT_EQ(markedPerChannel[ch], c.tagger->lost_events(ch)) << int(ch);
        EXPECT_GT(c.tagger->lost_events(ch), 0u) << int(ch);
    }
    EXPECT_EQ(s.tags.size(), c.tagger->captured_events());
    // What was kept is about what the link carried in the time. The link cannot carry more; a
    // sanitizer build's board falls behind the clock and carries less.
    EXPECT_LT(static_cast<double>(c.tagger->captured_events()), 65'000.0);
    EXPECT_GT(static_cast<double>(c.tagger->captured_events()), 35'000.0 / testsupport::waitScale());
    std::remove(path.c_str());
}

// Stopping a busy capture: the board's answer to the stop queues behind megabytes of tags, and
// on a loaded machine the board falls behind the clock too (its time slips). The stop must
// still end, and every tag the board made is either in the file or counted lost (per channel,
// with markers).
TEST(TaggerEndToEnd, StoppingABusyCaptureEndsAndAccountsForEveryTag)
{
    // A sanitizer build runs the board several times slower: it gets rates it can make.
    const double slower = testsupport::waitScale();
    for (const double rate : {3e6 / slower, 10e6 / slower}) {
        for (int run = 0; run < 2; ++run) {
            SCOPED_TRACE(std::to_string(rate / 1e6) + " M tags/s, run " + std::to_string(run));
            const std::string perInput = std::to_string(rate / 8);
            Capture c(profile(R"({"pairs": [], "deadTime": 0, "rates": [)" + perInput + "," + perInput + "," +
                              perInput + "," + perInput + "," + perInput + "," + perInput + "," + perInput + "," +
                              perInput + "]}"));
            ASSERT_NE(c.tagger, nullptr);
            const auto path = tempPath("busy.bin");
            auto writer = std::make_unique<Dorrin::file_writer>(path, Dorrin::file_writer::binary, false, c.tagger, 1,
                                                                0, std::chrono::seconds(0), Dorrin::file_writer::Clock{});
            Dorrin::ChannelMap inputs;
            for (std::uint8_t ch = 1; ch <= 8; ++ch)
                inputs[ch] = TDCChannel::RISING;
            ASSERT_FALSE(c.tagger->enable([&](const std::vector<Dorrin::measurement> &b) { writer->write(b); }, 0,
                                          inputs, 0));
            std::this_thread::sleep_for(300ms);
            const auto ec = c.tagger->disable();
            ASSERT_FALSE(ec) << "the stop failed: " << ec.message();
            ASSERT_TRUE(c.tagger->queue_waitEmpty(testsupport::scaled(10'000ms))) << "the capture queue never drained";
            writer.reset();

            // The board's own counts, read from its registers without the wire.
            auto &board = c.board->virtualDevice().board();
            const std::uint32_t base = c.tagger->baseAddress();
            auto word64 = [&](std::uint32_t offset) {
                std::uint32_t lo = 0, hi = 0;
                board.readWord(base + offset, lo);
                board.readWord(base + offset + 1, hi);
                return static_cast<std::uint64_t>(hi) << 32 | lo;
            };
            const std::uint64_t boardSent = word64(0x08), boardLost = word64(0x0A);
            EXPECT_GT(static_cast<double>(boardSent + boardLost), 100'000 / slower) << "the board hardly ran";
            // Host losses (a queue that overflowed) come on top of the board's.
            EXPECT_EQ(c.tagger->captured_events() + c.tagger->lost_events(), boardSent + boardLost);
            const auto s = readAll({path});
            ASSERT_FALSE(s.error) << s.error.message();
            EXPECT_EQ(s.tags.size(), c.tagger->captured_events());
            std::uint64_t marked = 0;
            for (const auto &m : s.markers)
                marked += m.count;
            EXPECT_EQ(marked, c.tagger->lost_events()) << "every loss is marked in the file";
            std::uint64_t perChannel = 0;
            for (std::uint8_t ch = 0; ch < 9; ++ch)
                perChannel += c.tagger->lost_events(ch);
            EXPECT_EQ(perChannel, c.tagger->lost_events());
            std::remove(path.c_str());
        }
    }
}

TEST(TaggerEndToEnd, UnpluggingDuringCaptureLeavesReadableFiles)
{
    Capture c(profile(R"({"rates":[50000,1,1,1,1,1,1,1]})"));
    ASSERT_NE(c.tagger, nullptr);
    const auto path = tempPath("unplug.csv");
    const auto binPath = tempPath("unplug.bin");
    std::mutex m;
    std::uint64_t delivered = 0;
    Dorrin::file_writer csv(path, Dorrin::file_writer::csv, false, c.tagger, 1, 0, std::chrono::seconds(0), {});
    Dorrin::file_writer bin(binPath, Dorrin::file_writer::binary, false, c.tagger, 1, 0, std::chrono::seconds(0), {});
    ASSERT_FALSE(c.tagger->enable(
        [&](const std::vector<Dorrin::measurement> &b) {
            csv.write(b);
            bin.write(b);
            std::lock_guard<std::mutex> lock(m);
            delivered += b.size();
        },
        0, {{1, TDCChannel::RISING}}, 0));
    std::this_thread::sleep_for(300ms);
    c.board->remove();
    std::this_thread::sleep_for(100ms);
    c.tagger->disable(); // the board is gone: fails, and nothing hangs
    ASSERT_TRUE(c.tagger->queue_waitEmpty(2000ms));
    csv.flush();
    bin.flush();
    const auto s = readAll({binPath});
    ASSERT_FALSE(s.error) << s.error.message();
    std::lock_guard<std::mutex> lock(m);
    EXPECT_GT(delivered, 5'000u);
    EXPECT_EQ(s.tags.size(), delivered);
    EXPECT_EQ(csv.tags_written(), delivered);
    std::remove(path.c_str());
    std::remove(binPath.c_str());
}

TEST(TaggerEndToEnd, AReplayedRecordingGivesTheCountersItsCounts)
{
    // Record half a second of every channel's rising edges.
    const auto path = tempPath("replay.bin");
    std::map<int, std::uint64_t> recorded;
    {
        Capture c(profile(R"({"rates":[3000,5000,7000,1000,1,1,1,1]})"));
        ASSERT_NE(c.tagger, nullptr);
        Dorrin::file_writer w(path, Dorrin::file_writer::binary, false, c.tagger, 1, 0, std::chrono::seconds(0), {});
        Dorrin::ChannelMap all;
        for (std::uint8_t ch = 0; ch < 9; ++ch)
            all[ch] = TDCChannel::RISING;
        ASSERT_FALSE(c.tagger->enable([&](const std::vector<Dorrin::measurement> &b) { w.write(b); }, 0, all, 0));
        std::this_thread::sleep_for(500ms);
        ASSERT_FALSE(c.tagger->disable());
        ASSERT_TRUE(c.tagger->queue_waitEmpty(0ms));
        ASSERT_EQ(c.tagger->lost_events(), 0u);
    }
    const auto s = readAll({path});
    ASSERT_FALSE(s.error);
    for (const auto &t : s.tags)
        ++recorded[t.channel];
    ASSERT_GT(recorded[3], 1000u);

    // Replay it as the event source of a fresh board and count.
    kestrane::Profile p = profile(R"({"rates":[3000,5000,7000,1000,1,1,1,1]})");
    p.replay = {path};
    Capture replay(p);
    std::vector<TDCFennick *> counters;
    for (auto *m : replay.backend->getModules())
        if (auto *f = dynamic_cast<TDCFennick *>(m))
            counters.push_back(f);
    ASSERT_EQ(counters.size(), 2u);
    std::mutex m;
    std::vector<std::vector<std::uint64_t>> totals(2, std::vector<std::uint64_t>(9, 0));
    std::vector<double> covered(2, 0);
    for (std::size_t i = 0; i < 2; ++i) {
        counters[i]->setCallback([&, i](std::mutex &, std::chrono::duration<double> dt, const std::vector<std::uint32_t> &c) {
            std::lock_guard<std::mutex> lock(m);
            for (std::size_t ch = 0; ch < c.size() && ch < 9; ++ch)
                totals[i][ch] += c[ch];
            covered[i] += dt.count();
        });
        ASSERT_FALSE(counters[i]->setIntegrationTime(0.1).first);
        ASSERT_FALSE(counters[i]->setAutoPush(true));
    }
    // The recording plays from one second after the board started.
    for (int wait = 0; wait < 100; ++wait) {
        std::this_thread::sleep_for(50ms);
        std::lock_guard<std::mutex> lock(m);
        if (covered[0] > 2.0 && covered[1] > 2.0)
            break;
    }
    for (auto *c : counters)
        c->setAutoPush(false);
    std::lock_guard<std::mutex> lock(m);
    for (std::size_t i = 0; i < 2; ++i)
        for (int ch = 0; ch < 9; ++ch)
            EXPECT_EQ(totals[i][ch], recorded[ch]) << "counter " << i << " channel " << ch;
    std::remove(path.c_str());
}
