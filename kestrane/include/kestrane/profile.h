#pragma once
// A board profile: what the virtual board's converter looks like and which signals arrive at
// its inputs. Read from JSON (see defaultProfileJson() for every key) or taken as built in.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrane {

// Events of channel `to` that follow events of channel `from` after `delay` seconds with a
// Gaussian `jitter` (standard deviation, seconds); `fraction` of the `from` events have one.
struct CorrelatedPair {
    std::uint32_t from = 1;
    std::uint32_t to = 2;
    double delay = 0;
    double jitter = 0;
    double fraction = 1;
};

struct Profile {
    std::uint32_t inputs = 8;             // channels besides the sync channel 0
    double syncPeriod = 277777777e-12;     // seconds; 0 switches the sync channel off
    std::vector<double> rates;             // Poisson rate per input channel 1…inputs, events/s
    std::vector<CorrelatedPair> pairs;
    double deadTime = 0;                   // seconds; processed events lose to it, raw input not
    std::uint32_t coarseBits = 8;
    std::uint32_t fineBits = 16;
    double tdcPeriod = 2.5e-9;
    double minBinWidth = 1e-12;
    std::uint64_t seed = 1;

    std::uint32_t channels() const { return inputs + 1; }
    // The mean rate of channel c as the raw-input counter sees it (own events plus the
    // correlated ones it inherits), events per second.
    double inputRate(std::uint32_t channel) const;
    // The same after the dead time, as the counter of processed events sees it.
    double processedRate(std::uint32_t channel) const;
};

const std::string &defaultProfileJson();
Profile defaultProfile();

// Parses a profile; on failure returns false and a sentence in `error`. Keys left out take
// the built-in defaults; unknown keys are refused so that typing errors do not go unnoticed.
bool parseProfile(const std::string &json, Profile &out, std::string &error);
bool loadProfile(const std::string &path, Profile &out, std::string &error);

} // namespace kestrane
