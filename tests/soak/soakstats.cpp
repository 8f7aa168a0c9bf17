#include "soakstats.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace soak {

namespace {

std::string mib(std::uint64_t kib)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(kib) / 1024.0);
    return text;
}

} // namespace

bool SoakStats::withinBaseline(const ProcStatus &s) const
{
    if (!haveBaseline_)
        return true;
    return s.rssKiB <= baseline_.rssKiB + limits_.rssSlackKiB && s.threads <= baseline_.threads + limits_.threadSlack;
}

std::vector<std::string> SoakStats::add(const CycleReport &cycle, const ProcStatus &status)
{
    std::vector<std::string> failures;
    ++cycles_;
    ++byFault_[faultName(cycle.fault)];
    ++byStep_[cycle.removedDuring.empty() ? "after close" : cycle.removedDuring];
    samples_ += cycle.samples;
    blocks_ += cycle.blocks;
    tags_ += cycle.tags;
    tagsRead_ += cycle.tagsRead;
    files_ += cycle.files;
    for (const auto &what : cycle.slowAnswers)
        ++slow_[what];
    last_ = status;
    if (!status.valid) {
        failures.push_back("cannot read /proc/self/status");
    } else if (!haveBaseline_) {
        if (cycles_ >= limits_.warmupCycles) {
            baseline_ = status;
            max_ = status;
            haveBaseline_ = true;
        }
    } else {
        max_.rssKiB = std::max(max_.rssKiB, status.rssKiB);
        max_.threads = std::max(max_.threads, status.threads);
        if (status.rssKiB > baseline_.rssKiB + limits_.rssSlackKiB)
            failures.push_back("resident memory " + mib(status.rssKiB) + " is above the baseline " +
                               mib(baseline_.rssKiB) + " plus " + mib(limits_.rssSlackKiB));
        if (status.threads > baseline_.threads + limits_.threadSlack)
            failures.push_back(std::to_string(status.threads) + " threads, the baseline is " +
                               std::to_string(baseline_.threads));
    }
    if (!cycle.failures.empty() || !failures.empty())
        ++failedCycles_;
    return failures;
}

std::string SoakStats::summary() const
{
    std::ostringstream s;
    s << "soak: " << cycles_ << " cycles, " << failedCycles_ << " failed\n";
    s << "soak: cycles by fault:";
    for (const auto &[name, n] : byFault_)
        s << " " << name << " " << n << ";";
    s << "\nsoak: board removed during step:";
    for (const auto &[name, n] : byStep_)
        s << " " << name << " " << n << ";";
    s << "\n";
    if (haveBaseline_) {
        s << "soak: resident memory: baseline " << mib(baseline_.rssKiB) << ", max " << mib(max_.rssKiB) << ", end "
          << mib(last_.rssKiB) << " (allowed: baseline + " << mib(limits_.rssSlackKiB) << ")\n";
        s << "soak: threads: baseline " << baseline_.threads << ", max " << max_.threads << ", end " << last_.threads
          << " (allowed: baseline + " << limits_.threadSlack << ")\n";
    } else {
        s << "soak: no baseline: fewer than " << limits_.warmupCycles << " warm-up cycles ran\n";
    }
    if (!slow_.empty()) {
        s << "soak: requests timed out with the board present (not failures):";
        for (const auto &[what, n] : slow_)
            s << " " << what << " " << n << ";";
        s << "\n";
    }
    s << "soak: delivered " << samples_ << " counter samples, " << blocks_ << " histogram blocks, " << tags_
      << " tags; read back " << tagsRead_ << " tags from " << files_ << " raw files\n";
    return s.str();
}

} // namespace soak
