#pragma once
// The soak's running totals and its check that memory and threads come back to where they
// were once the process had warmed up. A plain value, used on the soak's loop thread.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "procstatus.h"
#include "soakcycle.h"

namespace soak {

struct Limits {
    // The allocator's arenas fill up over the first cycles; the baseline is taken after them.
    std::uint64_t warmupCycles = 20;
    std::uint64_t rssSlackKiB = 24 << 10;
    std::uint32_t threadSlack = 0;
};

class SoakStats {
public:
    explicit SoakStats(Limits limits) : limits_(limits) {}

    // Adds a finished cycle and the process status after it; returns the failures the status
    // adds (memory or threads above the baseline).
    std::vector<std::string> add(const CycleReport &cycle, const ProcStatus &status);
    // True when `status` is within the limits of the baseline (always before warm-up ends).
    bool withinBaseline(const ProcStatus &status) const;
    bool warmedUp() const { return haveBaseline_; }

    std::uint64_t cycles() const { return cycles_; }
    std::uint64_t failedCycles() const { return failedCycles_; }
    // The summary lines printed at the end.
    std::string summary() const;

private:
    Limits limits_;
    std::uint64_t cycles_ = 0;
    std::uint64_t failedCycles_ = 0;
    bool haveBaseline_ = false;
    ProcStatus baseline_;
    ProcStatus max_;
    ProcStatus last_;
    std::map<std::string, std::uint64_t> byFault_;
    std::map<std::string, std::uint64_t> byStep_;
    std::uint64_t samples_ = 0, blocks_ = 0, tags_ = 0, tagsRead_ = 0, files_ = 0;
    std::map<std::string, std::uint64_t> slow_;
};

} // namespace soak
