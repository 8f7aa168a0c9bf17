#pragma once
// A board profile: what the virtual board's converter looks like, which signals arrive at its
// inputs and which modules it carries. Read from JSON (defaultProfileJson() shows every key
// with its default) or taken as built in.

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

// The analogue side of one input: the pulses of its source and the noise on its baseline.
struct InputShape {
    double pulseWidth = 5e-9;      // seconds from rising to falling edge
    double heightMean = 0.5;       // pulse height, volts
    double heightSigma = 0.05;     // spread of the pulse height, volts
    double noiseSigma = 0.01;      // Gaussian baseline noise, volts
    double noiseRate = 1e6;        // f0: threshold crossings per second at a 0 V threshold
    double threshold = 0.1;        // comparator threshold at power-up, volts
};

enum class ReplayPacing { wall, fast };

struct Profile {
    std::uint32_t inputs = 8;             // channels besides the sync channel 0
    double syncPeriod = 277777777e-12;     // seconds; 0 switches the sync channel off
    std::vector<double> rates;             // Poisson rate per input channel 1…inputs, events/s
    std::vector<InputShape> shapes;        // one per input channel 1…inputs
    bool periodic = false;                 // inputs fire every 1/rate exactly, no randomness
    std::vector<CorrelatedPair> pairs;
    double deadTime = 0;                   // seconds; processed events lose to it, raw input not
    std::uint32_t coarseBits = 8;
    std::uint32_t fineBits = 16;
    double tdcPeriod = 2.5e-9;
    double minBinWidth = 1e-12;
    std::uint64_t seed = 1;

    std::uint32_t histogrammers = 4;       // start–stop histogrammers on the board
    std::uint32_t histogramBins = 1u << 16; // bins of each, a power of two 2^10 … 2^20
    bool legacyHistogrammer = true;
    double dacMin = -0.2;                  // threshold DAC range, volts
    double dacMax = 1.0;
    std::uint32_t dacBits = 12;            // DAC resolution
    std::uint64_t tagFifo = 1u << 20;      // time tagger FIFO, tags
    double tagLinkRate = 400e6;            // time tagger link, bytes per second
    std::vector<std::string> replay;       // recorded raw files to play back; empty: the model
    ReplayPacing replayPacing = ReplayPacing::wall;

    std::uint32_t channels() const { return inputs + 1; }
    // The mean rate of channel c as the raw-input counter sees it (own events plus the
    // correlated ones it inherits), events per second, with every pulse above threshold.
    double inputRate(std::uint32_t channel) const;
    // The same after the dead time, as the counter of processed events sees it.
    double processedRate(std::uint32_t channel) const;
    // The shape of input channel c (1 … inputs); the sync channel has the default shape.
    const InputShape &shape(std::uint32_t channel) const;
};

const std::string &defaultProfileJson();
Profile defaultProfile();

// Parses a profile; on failure returns false and a sentence in `error`. Keys left out take
// the built-in defaults; unknown keys are refused so that typing errors do not go unnoticed.
bool parseProfile(const std::string &json, Profile &out, std::string &error);
bool loadProfile(const std::string &path, Profile &out, std::string &error);

} // namespace kestrane
