#pragma once
// One cycle of the soak: plug a board in, open it, load its modules, run counters, a group of
// four histogrammers and a time-tag recording into raw files, pull the board at a moment the
// cycle chose, then tear everything down and check what is left: nothing hung (the watchdog
// guards every step), no callback ran after close, the files read back to their last
// complete block.
//
// Runs on the soak's loop thread; the pull comes from a thread of its own.

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "soakboard.h"
#include "watchdog.h"

namespace soak {

// Where the board is pulled; `none` runs the cycle through and closes cleanly first.
enum class Fault { duringOpen, duringLoad, midBurst, midRecording, none };
constexpr int faultKinds = 5;
const char *faultName(Fault f);

struct CycleOptions {
    std::string fileDir;                               // raw files of the cycle go here
    // The device library gives each request a tenth of this (at most 1 s): on a loaded
    // machine a shorter one turns slow answers into failures that are not the soak's subject.
    std::chrono::milliseconds openTimeout{10000};
    std::chrono::milliseconds stepLimit{20000};        // per step, enforced by the watchdog
    std::chrono::milliseconds lossNoticeLimit{5000};   // the host must report the lost link by then
    double timeScale = 1.0;                            // stretches the moments of the pull
    std::chrono::milliseconds histogramPeriod{10};     // one block per histogrammer per period
};

// How long opening and loading took in recent undisturbed cycles, so that the pulls meant
// for those steps land inside them. Kept by the caller from cycle to cycle.
struct StepTimes {
    double openMs = 20;   // listing the devices and opening
    double loadMs = 40;   // loading the modules
};

struct CycleReport {
    Fault fault = Fault::none;
    std::string removedDuring;          // the step running when the board went; "" if only after close
    std::vector<std::string> failures;
    // Requests that timed out while the board was present: the library's bounded answer to a
    // board (or machine) too busy to reply in time, counted but not a failure of the cycle.
    std::vector<std::string> slowAnswers;
    bool opened = false;
    bool loaded = false;
    std::uint64_t samples = 0;          // counter samples delivered
    std::uint64_t blocks = 0;           // histogram blocks delivered
    std::uint64_t tags = 0;             // tags delivered to the recording
    std::uint64_t tagsRead = 0;         // tags read back from its files
    std::uint64_t files = 0;
};

CycleReport runCycle(SoakBoard &board, Watchdog &dog, std::mt19937_64 &rng, const CycleOptions &options,
                     StepTimes &times, std::uint64_t index);

} // namespace soak
