#pragma once
// The signal model: the events a profile's inputs make at the board's comparators.
//
// Per input, a source of pulses (Poisson at the profile's rate, or exactly periodic) plus the
// pulses it inherits from correlated pairs (a fraction of another input's pulses, after a
// delay with Gaussian jitter). Each pulse has a height drawn from the input's distribution and
// fires the comparator only when it exceeds the channel's threshold; the baseline noise crosses
// the threshold at the Rice rate f0·exp(−V²/2σ²). A firing gives a rising edge and, a pulse
// width later, a falling edge; pulses that overlap merge into one. On the processed path a
// pulse whose rising edge comes within the dead time of the last one kept is lost (both edges
// carry the flag). The sync channel 0 ticks with its period and has neither threshold, noise
// nor dead time.
//
// Deterministic: every channel, pair and noise process draws from a stream of its own, so the
// events do not depend on how production is cut into calls.

#include <cstdint>
#include <vector>

#include "eventengine.h"
#include "random.h"

namespace kestrane {

class ModelSource : public EventSource {
public:
    ModelSource(const Profile &profile, std::uint64_t seed);

    void produce(std::uint64_t upTo, std::vector<EventLane> &lanes) override;
    void setThreshold(std::uint32_t channel, double volts, std::uint64_t at) override;

    // Pulses above threshold leave as this fraction (the pulse height's upper tail).
    static double passFraction(const InputShape &shape, double threshold);
    // Noise crossings per second at a threshold.
    static double noiseRate(const InputShape &shape, double threshold);

private:
    struct Channel {
        Channel(std::uint64_t seed, std::uint32_t index);
        Random pulses;  // arrival times of its own pulses
        Random heights; // which pulses clear the threshold
        Random noise;
        // Own pulses, made ahead of emission when pairs need them early.
        bool periodic = false;
        double period = 0;        // units, periodic channels
        std::uint64_t count = 0;  // periodic: index of the next pulse
        double rate = 0;          // pulses per unit, Poisson channels
        double meanGap = 0;       // 1 / rate: a multiplication per pulse instead of a division
        std::uint64_t nextOwn = 0;
        double fraction = 0;      // below-unit rest of nextOwn
        std::vector<std::uint64_t> own;
        std::uint64_t ownBase = 0; // absolute index of own[0]
        std::uint64_t ownNext = 0; // absolute index of the next own pulse to emit
        std::uint64_t lead = 0;    // pairs need own pulses this far past the emission time
        bool source = false;       // some pair copies this channel's pulses: they are kept in own
        // Pulses inherited from pairs, in time order from inheritedNext on. Each pair's copies
        // come almost in order (jitter is cut off), so an insertion from the back moves few.
        std::vector<std::uint64_t> inherited;
        std::size_t inheritedNext = 0;
        // Comparator.
        double pass = 1;          // fraction of pulses that clear the threshold
        double noisePerUnit = 0;
        std::uint64_t nextNoise = noTime;
        std::uint64_t width = 1;
        std::uint64_t noiseWidth = 1;
        bool high = false;
        std::uint64_t fallAt = 0;
        std::uint8_t fallLost = 0;
        // Dead time of the processed path.
        std::uint64_t deadTime = 0;
        bool accepted = false;
        std::uint64_t lastAccepted = 0;
    };
    struct Pair {
        Pair(std::uint64_t seed, std::uint32_t index) : rng(seed, 0x100000 + index) {}
        Random rng;
        std::uint32_t from = 0, to = 0;
        double delay = 0, jitter = 0, fraction = 1; // units
        std::uint64_t next = 0;                      // absolute index into the from channel's own
    };
    static constexpr std::uint64_t noTime = ~std::uint64_t(0);

    static void advanceOwn(Channel &ch);
    void makeOwn(Channel &ch, std::uint64_t upTo);
    void makeInherited(Pair &p, std::uint64_t upTo);
    void emit(Channel &ch, std::uint32_t index, std::uint64_t upTo, EventLane &lane);
    void drawNoise(Channel &ch, std::uint64_t from);

    Profile profile_;
    double unitsPerSecond_;
    std::vector<Channel> channels_;
    std::vector<Pair> pairs_;
};

} // namespace kestrane
