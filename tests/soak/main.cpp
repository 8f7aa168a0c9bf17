// tessaron-soak: plugs a board in and pulls it at random moments, over and over, and checks
// after every cycle that nothing hung, no callback ran after close, the raw files read back,
// and memory and threads came back to their baseline.
//
//   tessaron-soak [--minutes M | --seconds S] [--seed N] [--emu [--emu-path P]] [--verbose]

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>
#include <unistd.h>

#include <kestrane/profile.h>

#include "soakboard.h"
#include "soakcycle.h"
#include "soakstats.h"
#include "tdc/tdclog.h"
#include "watchdog.h"

#ifndef KESTRANE_EMU_PATH
#define KESTRANE_EMU_PATH "kestrane-emu"
#endif

namespace {

// Modest rates keep the board model's share of the machine small; four inputs, two of them
// correlated, so the histograms have something to count.
const char *soakProfile = R"({"inputs": 4, "rates": [20000, 20000, 5000, 5000], "histogramBins": 4096,
  "pairs": [{"from": 1, "to": 2, "delay": 12e-9, "jitter": 100e-12, "fraction": 0.5}]})";
// A pseudo-terminal carries a few MB/s: less streamed data, so the answers to the host's
// requests are not queued behind it past their time-out.
const char *emuProfile = R"({"inputs": 4, "rates": [5000, 5000, 1000, 1000], "histogramBins": 1024,
  "pairs": [{"from": 1, "to": 2, "delay": 12e-9, "jitter": 100e-12, "fraction": 0.5}]})";

std::atomic<std::uint64_t> currentCycle{0};
std::uint64_t seedInUse = 0;

} // namespace

int main(int argc, char **argv)
{
    CLI::App app{"Soak test: boards pulled at random moments, cycle after cycle"};
    double minutes = 30;
    double seconds = 0;
    std::uint64_t seed = 0;
    bool emu = false;
    std::string emuPath = KESTRANE_EMU_PATH;
    std::string dir;
    bool verbose = false;
    soak::Limits limits;
    std::uint64_t rssSlackMiB = limits.rssSlackKiB >> 10;
    soak::CycleOptions cycleOptions;
    long stepLimitS = 20;
    std::uint64_t maxFailures = 20;
    app.add_option("--minutes", minutes, "How long to run (default 30)")->check(CLI::PositiveNumber);
    app.add_option("--seconds", seconds, "How long to run, in seconds (overrides --minutes)")->check(CLI::PositiveNumber);
    app.add_option("--seed", seed, "Seed of the random moments (default: a fresh one, printed)");
    app.add_flag("--emu", emu, "Run the board in kestrane-emu on a pseudo-terminal and kill it (SIGKILL)");
    app.add_option("--emu-path", emuPath, "The kestrane-emu program");
    app.add_option("--dir", dir, "Folder for the raw files (default: a fresh one under /tmp)");
    app.add_option("--warmup", limits.warmupCycles, "Cycles before the memory and thread baseline is taken")
        ->check(CLI::PositiveNumber);
    app.add_option("--rss-slack", rssSlackMiB, "MiB of resident memory allowed above the baseline");
    app.add_option("--thread-slack", limits.threadSlack, "Threads allowed above the baseline");
    app.add_option("--step-limit", stepLimitS, "Seconds any one step may take before the run is aborted")
        ->check(CLI::PositiveNumber);
    app.add_option("--time-scale", cycleOptions.timeScale, "Stretches the moments of the pull (slow builds)")
        ->check(CLI::PositiveNumber);
    app.add_option("--max-failures", maxFailures, "Stop after this many failed cycles")->check(CLI::PositiveNumber);
    app.add_flag("--verbose", verbose, "Keep the device library's log");
    CLI11_PARSE(app, argc, argv);

    limits.rssSlackKiB = rssSlackMiB << 10;
    cycleOptions.stepLimit = std::chrono::seconds(stepLimitS);
    const auto duration = std::chrono::milliseconds(
        static_cast<std::int64_t>((seconds > 0 ? seconds : minutes * 60) * 1000));
    if (!app.count("--seed"))
        seed = std::random_device{}() | (static_cast<std::uint64_t>(std::random_device{}()) << 32);
    seedInUse = seed;
    if (!verbose)
        libtdcLog::setLevel(0);

    bool ownDir = false;
    if (dir.empty()) {
        char pattern[] = "/tmp/tessaron-soak-XXXXXX";
        if (!::mkdtemp(pattern)) {
            std::perror("soak: cannot make a folder for the raw files");
            return 2;
        }
        dir = pattern;
        ownDir = true;
    }
    cycleOptions.fileDir = dir;

    kestrane::Profile profile;
    std::string error;
    if (!kestrane::parseProfile(soakProfile, profile, error)) {
        std::cerr << "soak: the built-in profile is refused: " << error << "\n";
        return 2;
    }
    std::unique_ptr<soak::SoakBoard> board;
    if (emu) {
        const std::string profileFile = dir + "/profile.json";
        std::ofstream(profileFile) << emuProfile;
        cycleOptions.histogramPeriod = std::chrono::milliseconds(50);
        board = std::make_unique<soak::EmuSoakBoard>(emuPath, profileFile);
    } else {
        board = std::make_unique<soak::InProcessSoakBoard>(profile, "SOAK-" + std::to_string(::getpid() % 100000));
    }

    std::printf("soak: seed %llu, %s, %.0f s, files in %s\n", static_cast<unsigned long long>(seed),
                emu ? "kestrane-emu on a pseudo-terminal" : "in-process virtual board",
                std::chrono::duration<double>(duration).count(), dir.c_str());
    std::fflush(stdout);

    soak::Watchdog dog([] {
        return "(cycle " + std::to_string(currentCycle.load()) + ", seed " + std::to_string(seedInUse) + ")";
    });
    soak::SoakStats stats(limits);
    soak::StepTimes times;
    std::mt19937_64 rng(seed);
    const auto start = std::chrono::steady_clock::now();
    auto nextProgress = start + std::chrono::seconds(60);
    for (std::uint64_t i = 0; std::chrono::steady_clock::now() - start < duration; ++i) {
        currentCycle = i;
        const soak::CycleReport r = soak::runCycle(*board, dog, rng, cycleOptions, times, i);
        // Threads of a closed link may take a moment to end; give them that before judging.
        soak::ProcStatus status = soak::readProcStatus();
        for (int tries = 0; tries < 100 && !stats.withinBaseline(status); ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            status = soak::readProcStatus();
        }
        auto failures = r.failures;
        for (auto &f : stats.add(r, status))
            failures.push_back(std::move(f));
        for (const auto &f : failures)
            std::printf("soak: FAIL cycle %llu (%s, board removed during %s): %s\n",
                        static_cast<unsigned long long>(i), soak::faultName(r.fault),
                        r.removedDuring.empty() ? "-" : r.removedDuring.c_str(), f.c_str());
        if (!failures.empty())
            std::fflush(stdout);
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextProgress) {
            nextProgress = now + std::chrono::seconds(60);
            std::printf("soak: %.0f s, %llu cycles, %llu failed, %.1f MiB resident, %u threads\n",
                        std::chrono::duration<double>(now - start).count(),
                        static_cast<unsigned long long>(stats.cycles()),
                        static_cast<unsigned long long>(stats.failedCycles()), status.rssKiB / 1024.0, status.threads);
            std::fflush(stdout);
        }
        if (stats.failedCycles() >= maxFailures) {
            std::printf("soak: stopping after %llu failed cycles\n", static_cast<unsigned long long>(maxFailures));
            break;
        }
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ssoak: %.0f s, seed %llu\n", stats.summary().c_str(), took, static_cast<unsigned long long>(seed));
    board.reset();
    if (ownDir) {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    const bool ok = stats.failedCycles() == 0 && stats.warmedUp();
    std::printf("soak: %s\n", ok ? "PASSED" : "FAILED");
    return ok ? 0 : 1;
}
