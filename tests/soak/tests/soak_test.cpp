// The soak's own parts: the watchdog that turns a hang into a named failure, the process
// figures, the raw-file check, the baseline bookkeeping and the pull from another thread.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "procstatus.h"
#include "puller.h"
#include "rawcheck.h"
#include "soakstats.h"
#include "tdc/dorrin.h"
#include "watchdog.h"

using namespace std::chrono_literals;

namespace {

class CountingBoard : public soak::SoakBoard {
public:
    bool plugIn(std::string &) override { return true; }
    void pull() override { ++pulls; }
    DeviceMap device(TDCBackend &) override { return {}; }
    std::atomic<int> pulls{0};
};

std::string tempDir()
{
    char pattern[] = "/tmp/soak-test-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

} // namespace

TEST(SoakWatchdogDeathTest, AStepThatOverrunsEndsTheProcessNamingTheStep)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            soak::Watchdog dog([] { return std::string("(cycle 7, seed 42)"); }, 3);
            auto s = dog.step("load modules", 50ms);
            std::this_thread::sleep_for(5s);
        },
        ::testing::ExitedWithCode(3), "step \"load modules\" did not finish within 50 ms \\(cycle 7, seed 42\\)");
}

TEST(SoakWatchdog, StepsFinishedInTimeAndReplacedStepsDoNotFire)
{
    soak::Watchdog dog({}, 3);
    EXPECT_EQ(dog.current(), "");
    {
        auto s = dog.step("open", 150ms);
        EXPECT_EQ(dog.current(), "open");
    }
    EXPECT_EQ(dog.current(), "");
    // The disarmed step's deadline passes; nothing happens.
    std::this_thread::sleep_for(250ms);
    {
        auto first = dog.step("short", 100ms);
        // A new step takes over with its own, longer limit.
        auto second = dog.step("long", 5s);
        EXPECT_EQ(dog.current(), "long");
        std::this_thread::sleep_for(250ms);
    }
    EXPECT_EQ(dog.current(), "");
}

TEST(SoakProcStatus, ReadsResidentMemoryAndThreads)
{
    const auto s = soak::parseProcStatus("Name:\tx\nVmPeak:\t 9999 kB\nVmRSS:\t   12345 kB\nThreads:\t7\nVmRSSx: 1\n");
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.rssKiB, 12345u);
    EXPECT_EQ(s.threads, 7u);
    EXPECT_FALSE(soak::parseProcStatus("VmRSS:\t1 kB\n").valid) << "no thread count";
    EXPECT_FALSE(soak::parseProcStatus("Threads:\t1\nVmRSS:\tkB\n").valid) << "no number";

    const auto before = soak::readProcStatus();
    ASSERT_TRUE(before.valid);
    EXPECT_GT(before.rssKiB, 0u);
    std::atomic<bool> stop{false};
    std::thread extra([&] {
        while (!stop)
            std::this_thread::sleep_for(1ms);
    });
    const auto during = soak::readProcStatus();
    stop = true;
    extra.join();
    EXPECT_EQ(during.threads, before.threads + 1);
}

TEST(SoakRawCheck, FinishedCutAndDamagedFiles)
{
    const auto dir = tempDir();
    const auto path = dir + "/tags.bin";
    std::uint64_t written = 0;
    {
        Dorrin::file_writer w(path, Dorrin::file_writer::binary, false, Dorrin::file_writer::description{}, 1, 0,
                              std::chrono::seconds(0), {});
        std::vector<Dorrin::measurement> batch;
        for (int block = 0; block < 3; ++block) {
            batch.clear();
            for (std::uint64_t i = 0; i < 1000; ++i)
                batch.push_back({1, 1, static_cast<std::uint64_t>(block) * 100000 + i * 7});
            w.write(batch);
            w.flush();
        }
        written = w.tags_written();
    }
    ASSERT_EQ(written, 3000u);
    auto c = soak::checkRawFile(path, false);
    EXPECT_TRUE(c.ok) << c.error;
    EXPECT_FALSE(c.cut);
    EXPECT_EQ(c.tags, 3000u);
    EXPECT_EQ(c.blocks, 3u);

    // Cut inside the last block: a growing file reads its two whole blocks, a finished one fails.
    const auto size = std::filesystem::file_size(path);
    std::filesystem::resize_file(path, size - 10);
    c = soak::checkRawFile(path, true);
    EXPECT_TRUE(c.ok) << c.error;
    EXPECT_TRUE(c.cut);
    EXPECT_EQ(c.tags, 2000u);
    c = soak::checkRawFile(path, false);
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("block 2"), std::string::npos) << c.error;

    // A damaged byte inside the first block is never accepted, growing or not.
    {
        std::FILE *f = std::fopen(path.c_str(), "r+b");
        ASSERT_TRUE(f);
        std::fseek(f, static_cast<long>(size / 6), SEEK_SET);
        const int b = std::fgetc(f);
        std::fseek(f, static_cast<long>(size / 6), SEEK_SET);
        std::fputc(b ^ 0x5A, f);
        std::fclose(f);
    }
    EXPECT_FALSE(soak::checkRawFile(path, true).ok);
    EXPECT_FALSE(soak::checkRawFile(path, false).ok);
    EXPECT_FALSE(soak::checkRawFile(dir + "/missing.bin", true).ok);
    std::filesystem::remove_all(dir);
}

TEST(SoakStats, BaselineAfterWarmUpThenLimits)
{
    soak::Limits limits;
    limits.warmupCycles = 2;
    limits.rssSlackKiB = 1000;
    limits.threadSlack = 1;
    soak::SoakStats stats(limits);
    soak::CycleReport r;
    r.fault = soak::Fault::midBurst;
    r.removedDuring = "run";
    auto status = [](std::uint64_t rss, std::uint32_t threads) {
        soak::ProcStatus s;
        s.rssKiB = rss;
        s.threads = threads;
        s.valid = true;
        return s;
    };
    // Warm-up cycles may grow as they like.
    EXPECT_TRUE(stats.add(r, status(50000, 9)).empty());
    EXPECT_FALSE(stats.warmedUp());
    EXPECT_TRUE(stats.add(r, status(10000, 4)).empty());
    EXPECT_TRUE(stats.warmedUp());
    EXPECT_TRUE(stats.add(r, status(11000, 5)).empty()) << "exactly at the limits";
    EXPECT_TRUE(stats.withinBaseline(status(11000, 5)));
    EXPECT_FALSE(stats.withinBaseline(status(11001, 5)));
    EXPECT_FALSE(stats.withinBaseline(status(10000, 6)));
    auto failures = stats.add(r, status(11001, 4));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("resident memory"), std::string::npos);
    failures = stats.add(r, status(10000, 6));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("6 threads, the baseline is 4"), std::string::npos);
    r.failures = {"the host did not report the lost link"};
    r.removedDuring.clear();
    EXPECT_TRUE(stats.add(r, status(10000, 4)).empty());
    // Time-outs with the board present are counted apart and fail nothing.
    r.failures.clear();
    r.slowAnswers = {"group disable", "group disable", "counter auto-push off"};
    r.removedDuring = "run";
    EXPECT_TRUE(stats.add(r, status(10000, 4)).empty());
    EXPECT_EQ(stats.cycles(), 7u);
    EXPECT_EQ(stats.failedCycles(), 3u);
    const auto text = stats.summary();
    EXPECT_NE(text.find("7 cycles, 3 failed"), std::string::npos) << text;
    EXPECT_NE(text.find("mid-burst 7"), std::string::npos) << text;
    EXPECT_NE(text.find("run 6;"), std::string::npos) << text;
    EXPECT_NE(text.find("(not failures): counter auto-push off 1; group disable 2;"), std::string::npos) << text;
    EXPECT_NE(text.find("after close 1"), std::string::npos) << text;
    EXPECT_NE(text.find("baseline 9.8 MiB, max 10.7 MiB, end 9.8 MiB"), std::string::npos) << text;
    EXPECT_NE(text.find("threads: baseline 4, max 6, end 4"), std::string::npos) << text;
}

TEST(SoakPuller, PullsOnceAfterItsDelayNotingTheStepOrNotAtAllWhenCancelled)
{
    CountingBoard board;
    soak::Watchdog dog({}, 3);
    {
        auto s = dog.step("mid-air", 5s);
        soak::Puller p(board, dog, 20ms);
        EXPECT_TRUE(p.waitPulled(5000ms));
        EXPECT_TRUE(p.pulled());
        EXPECT_EQ(p.during(), "mid-air");
    }
    EXPECT_EQ(board.pulls, 1);
    {
        soak::Puller p(board, dog, 10s);
        EXPECT_FALSE(p.waitPulled(30ms));
        EXPECT_FALSE(p.pulled());
    }
    EXPECT_EQ(board.pulls, 1) << "a cancelled pull never happens";
    {
        soak::Puller p(board, dog, 0ms);
        EXPECT_TRUE(p.waitPulled(5000ms));
        EXPECT_EQ(p.during(), "between steps");
    }
    EXPECT_EQ(board.pulls, 2);
}
