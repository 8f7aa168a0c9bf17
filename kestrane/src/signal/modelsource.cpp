#include "modelsource.h"

#include <algorithm>
#include <cmath>

namespace kestrane {

namespace {
// Pair jitter is cut at this many standard deviations, so inherited pulses can be made a
// bounded time ahead and noTime land before what has been emitted.
constexpr double jitterReach = 6.0;
// Noise crossings are this short, seconds.
constexpr double noisePulseWidth = 1e-9;
// Own pulses already emitted and passed by every pair are let go in chunks of this size.
constexpr std::size_t ownCompaction = 4096;
} // namespace

ModelSource::Channel::Channel(std::uint64_t seed, std::uint32_t index)
    : pulses(seed, 3 * index), heights(seed, 3 * index + 1), noise(seed, 3 * index + 2)
{
}

double ModelSource::passFraction(const InputShape &s, double threshold)
{
    if (s.heightSigma <= 0)
        return s.heightMean > threshold ? 1.0 : 0.0;
    const double pass = 0.5 * std::erfc((threshold - s.heightMean) / (s.heightSigma * std::sqrt(2.0)));
    // Beyond what a run of the board could ever tell apart, and no draw is needed per pulse.
    return pass > 1 - 1e-12 ? 1.0 : pass < 1e-12 ? 0.0 : pass;
}

double ModelSource::noiseRate(const InputShape &s, double threshold)
{
    if (s.noiseSigma <= 0 || s.noiseRate <= 0)
        return 0;
    return s.noiseRate * std::exp(-threshold * threshold / (2 * s.noiseSigma * s.noiseSigma));
}

ModelSource::ModelSource(const Profile &profile, std::uint64_t seed)
    : profile_(profile), unitsPerSecond_(1.0 / profile.minBinWidth)
{
    const std::uint32_t n = profile.channels();
    channels_.reserve(n);
    for (std::uint32_t c = 0; c < n; ++c) {
        channels_.emplace_back(seed, c);
        Channel &ch = channels_.back();
        const InputShape &shape = profile.shape(c);
        const auto units = [this](double seconds) {
            return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(seconds * unitsPerSecond_)));
        };
        ch.width = units(shape.pulseWidth);
        ch.noiseWidth = units(noisePulseWidth);
        if (c == 0) {
            ch.periodic = true;
            ch.period = profile.syncPeriod * unitsPerSecond_;
            ch.count = 0; // the sync channel ticks at 0, period, 2·period, …
            ch.width = std::min(ch.width, std::max<std::uint64_t>(1, static_cast<std::uint64_t>(ch.period / 2)));
        } else {
            const double rate = profile.rates[c - 1];
            ch.periodic = profile.periodic;
            ch.period = rate > 0 ? unitsPerSecond_ / rate : 0;
            ch.count = 1; // periodic inputs start one period after power-up
            ch.rate = rate / unitsPerSecond_;
            ch.meanGap = ch.rate > 0 ? 1.0 / ch.rate : 0;
            ch.deadTime = static_cast<std::uint64_t>(std::llround(profile.deadTime * unitsPerSecond_));
            ch.pass = passFraction(shape, shape.threshold);
            ch.noisePerUnit = noiseRate(shape, shape.threshold) / unitsPerSecond_;
        }
        if (ch.periodic) {
            ch.nextOwn = ch.period > 0 ? static_cast<std::uint64_t>(std::llround(ch.count * ch.period)) : noTime;
        } else if (ch.rate > 0) {
            const double g = ch.pulses.exponential() * ch.meanGap;
            ch.nextOwn = static_cast<std::uint64_t>(g);
            ch.fraction = g - static_cast<double>(ch.nextOwn);
        } else {
            ch.nextOwn = noTime;
        }
        drawNoise(ch, 0);
    }
    for (std::uint32_t i = 0; i < profile.pairs.size(); ++i) {
        const auto &src = profile.pairs[i];
        pairs_.emplace_back(seed, i);
        Pair &p = pairs_.back();
        p.from = src.from;
        p.to = src.to;
        p.delay = src.delay * unitsPerSecond_;
        p.jitter = src.jitter * unitsPerSecond_;
        p.fraction = src.fraction;
        channels_[p.from].source = true;
        const double lead = jitterReach * p.jitter - p.delay;
        if (lead > 0)
            channels_[p.from].lead = std::max(channels_[p.from].lead, static_cast<std::uint64_t>(std::ceil(lead)) + 1);
    }
}

void ModelSource::drawNoise(Channel &ch, std::uint64_t from)
{
    if (ch.noisePerUnit <= 0) {
        ch.nextNoise = noTime;
        return;
    }
    const double gap = ch.noise.exponential() / ch.noisePerUnit;
    ch.nextNoise = gap >= 1.8e19 - static_cast<double>(from) ? noTime : from + static_cast<std::uint64_t>(gap);
}

void ModelSource::setThreshold(std::uint32_t channel, double volts, std::uint64_t at)
{
    if (channel == 0 || channel >= channels_.size())
        return;
    Channel &ch = channels_[channel];
    const InputShape &shape = profile_.shape(channel);
    ch.pass = passFraction(shape, volts);
    ch.noisePerUnit = noiseRate(shape, volts) / unitsPerSecond_;
    // The noise is memoryless: its next crossing is drawn afresh from the moment of change.
    drawNoise(ch, at);
}

void ModelSource::advanceOwn(Channel &ch)
{
    if (ch.periodic) {
        ++ch.count;
        ch.nextOwn = static_cast<std::uint64_t>(std::llround(ch.count * ch.period));
    } else {
        const double g = ch.pulses.exponential() * ch.meanGap + ch.fraction;
        // Through a signed integer: one instruction, where the unsigned conversion is a
        // branch and two; no gap comes near 2^63 units.
        const auto whole = static_cast<std::int64_t>(g);
        ch.fraction = g - static_cast<double>(whole);
        ch.nextOwn += static_cast<std::uint64_t>(whole);
    }
}

void ModelSource::makeOwn(Channel &ch, std::uint64_t upTo)
{
    while (ch.nextOwn < upTo) {
        ch.own.push_back(ch.nextOwn);
        advanceOwn(ch);
    }
}

void ModelSource::makeInherited(Pair &p, std::uint64_t upTo)
{
    Channel &from = channels_[p.from];
    Channel &to = channels_[p.to];
    // Pulses of `from` up to here have all their copies before upTo or later.
    const double reach = jitterReach * p.jitter;
    const double limit = static_cast<double>(upTo) + reach - p.delay;
    while (p.next < from.ownBase + from.own.size()) {
        const std::uint64_t t = from.own[p.next - from.ownBase];
        if (static_cast<double>(t) >= limit)
            break;
        ++p.next;
        if (p.fraction < 1 && p.rng.uniform() > p.fraction)
            continue;
        double dt = p.delay;
        if (p.jitter > 0)
            dt += std::clamp(p.rng.normal() * p.jitter, -reach, reach);
        const double at = static_cast<double>(t) + dt;
        to.inherited.push(at <= 0 ? 0 : static_cast<std::uint64_t>(std::llround(at)));
    }
}

namespace {
// Written member by member into place: an Event assembled on the stack and then copied whole
// stalls on store forwarding, which cost more than everything else an event takes to make.
inline void append(std::vector<Event> &lane, std::uint64_t time, std::uint32_t channel, Edge edge, std::uint8_t lost)
{
    Event &e = lane.emplace_back();
    e.time = time;
    e.channel = static_cast<std::uint16_t>(channel);
    e.edge = edge;
    e.lost = lost;
}
} // namespace

void ModelSource::fire(Channel &ch, std::uint32_t index, std::uint64_t t, std::uint64_t width,
                       std::vector<Event> &lane)
{
    if (ch.high) {
        if (t < ch.fallAt) {
            // The comparator is still high: the pulses merge.
            ch.fallAt = std::max(ch.fallAt, t + width);
            return;
        }
        append(lane, ch.fallAt, index, Edge::falling, ch.fallLost);
        ch.high = false;
    }
    std::uint8_t lost = 0;
    if (ch.deadTime > 0) {
        if (ch.accepted && t < ch.lastAccepted + ch.deadTime) {
            lost = 1;
        } else {
            ch.accepted = true;
            ch.lastAccepted = t;
        }
    }
    append(lane, t, index, Edge::rising, lost);
    ch.high = true;
    ch.fallAt = t + width;
    ch.fallLost = lost;
}

void ModelSource::emit(Channel &ch, std::uint32_t index, std::uint64_t upTo, std::vector<Event> &lane)
{
    const bool coin = ch.pass > 0 && ch.pass < 1;
    if (!ch.source && ch.inherited.empty() && ch.nextNoise >= upTo) {
        // The common case: only the channel's own pulses, straight from its generator.
        while (ch.nextOwn < upTo) {
            const std::uint64_t t = ch.nextOwn;
            advanceOwn(ch);
            if (ch.pass <= 0 || (coin && ch.heights.uniform() > ch.pass))
                continue;
            fire(ch, index, t, ch.width, lane);
        }
    }
    for (;;) {
        const std::uint64_t own = !ch.source                                     ? ch.nextOwn
                                  : ch.ownNext < ch.ownBase + ch.own.size() ? ch.own[ch.ownNext - ch.ownBase]
                                                                            : noTime;
        const std::uint64_t inherited = ch.inherited.empty() ? noTime : ch.inherited.top();
        const std::uint64_t noise = ch.nextNoise;
        const std::uint64_t t = std::min({own, inherited, noise});
        if (t >= upTo)
            break;
        if (t == noise) {
            fire(ch, index, t, ch.noiseWidth, lane);
            drawNoise(ch, t + 1);
            continue;
        }
        if (t == own) {
            if (ch.source)
                ++ch.ownNext;
            else
                advanceOwn(ch);
        } else {
            ch.inherited.pop();
        }
        // The pulse height decides whether the comparator fires at all.
        if (ch.pass <= 0 || (coin && ch.heights.uniform() > ch.pass))
            continue;
        fire(ch, index, t, ch.width, lane);
    }
    if (ch.high && ch.fallAt < upTo) {
        append(lane, ch.fallAt, index, Edge::falling, ch.fallLost);
        ch.high = false;
    }
}

void ModelSource::produce(std::uint64_t upTo, std::vector<std::vector<Event>> &lanes)
{
    for (auto &ch : channels_)
        if (ch.source)
            makeOwn(ch, upTo + ch.lead);
    for (auto &p : pairs_)
        makeInherited(p, upTo);
    for (std::uint32_t c = 0; c < channels_.size() && c < lanes.size(); ++c)
        emit(channels_[c], c, upTo, lanes[c]);
    // Let go of own pulses that were emitted and that every pair has passed.
    for (std::uint32_t c = 0; c < channels_.size(); ++c) {
        Channel &ch = channels_[c];
        std::uint64_t keep = ch.ownNext;
        for (const auto &p : pairs_)
            if (p.from == c)
                keep = std::min(keep, p.next);
        const std::size_t dead = static_cast<std::size_t>(keep - ch.ownBase);
        if (dead >= ownCompaction || dead == ch.own.size()) {
            ch.own.erase(ch.own.begin(), ch.own.begin() + static_cast<std::ptrdiff_t>(dead));
            ch.ownBase = keep;
        }
    }
}

} // namespace kestrane
