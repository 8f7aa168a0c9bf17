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

namespace {

// The next own pulse of a channel: exactly periodic, or after an exponential gap. The
// below-unit rest of each gap is carried on, so no rate is lost to rounding.
inline void stepOwn(bool periodic, double period, double meanGap, std::uint64_t &count, Random &pulses,
                    std::uint64_t &next, double &fraction)
{
    if (periodic) {
        ++count;
        next = static_cast<std::uint64_t>(std::llround(static_cast<double>(count) * period));
    } else {
        const double g = pulses.exponential() * meanGap + fraction;
        // Through a signed integer: one instruction, where the unsigned conversion is a
        // branch and two; no gap comes near 2^63 units.
        const auto whole = static_cast<std::int64_t>(g);
        fraction = g - static_cast<double>(whole);
        next += static_cast<std::uint64_t>(whole);
    }
}

inline Event *put(Event *w, std::uint64_t time, std::uint16_t channel, Edge edge, std::uint8_t lost)
{
    // Member by member into place: an Event assembled on the stack and then copied whole
    // stalls on store forwarding.
    w->time = time;
    w->channel = channel;
    w->edge = edge;
    w->lost = lost;
    return w + 1;
}

// A channel's comparator and dead time, taken into locals for a run of pulses. Held in the
// Channel, every event written (whose bytes may alias anything) would make the compiler store
// and reload them around it.
struct Comparator {
    std::uint64_t fallAt;
    std::uint64_t lastAccepted;
    std::uint64_t deadTime;
    std::uint16_t channel;
    bool high;
    bool accepted;
    std::uint8_t fallLost;

    // A pulse of `width` reaches the comparator at t; writes the edges that are certain.
    Event *fire(Event *w, std::uint64_t t, std::uint64_t width)
    {
        if (high) {
            if (t < fallAt) {
                // The comparator is still high: the pulses merge.
                fallAt = std::max(fallAt, t + width);
                return w;
            }
            w = put(w, fallAt, channel, Edge::falling, fallLost);
            high = false;
        }
        std::uint8_t lost = 0;
        if (deadTime > 0) {
            if (accepted && t < lastAccepted + deadTime) {
                lost = 1;
            } else {
                accepted = true;
                lastAccepted = t;
            }
        }
        w = put(w, t, channel, Edge::rising, lost);
        high = true;
        fallAt = t + width;
        fallLost = lost;
        return w;
    }
};

// Each pulse writes at most two edges; room for this many pulses is made at a time.
constexpr std::size_t pulsesPerChunk = 256;
// Inherited pulses already emitted are let go in chunks of at least this size.
constexpr std::size_t inheritedCompaction = 1024;

} // namespace

void ModelSource::advanceOwn(Channel &ch)
{
    stepOwn(ch.periodic, ch.period, ch.meanGap, ch.count, ch.pulses, ch.nextOwn, ch.fraction);
}

void ModelSource::makeOwn(Channel &ch, std::uint64_t upTo)
{
    if (ch.nextOwn >= upTo)
        return;
    // In locals: the stores into `own` could otherwise alias the generator's state.
    Random pulses = ch.pulses;
    std::uint64_t next = ch.nextOwn, count = ch.count;
    double fraction = ch.fraction;
    const bool periodic = ch.periodic;
    const double period = ch.period, meanGap = ch.meanGap;
    while (next < upTo) {
        ch.own.push_back(next);
        stepOwn(periodic, period, meanGap, count, pulses, next, fraction);
    }
    ch.pulses = pulses;
    ch.nextOwn = next;
    ch.count = count;
    ch.fraction = fraction;
}

void ModelSource::makeInherited(Pair &p, std::uint64_t upTo)
{
    Channel &from = channels_[p.from];
    Channel &to = channels_[p.to];
    auto &q = to.inherited;
    // Pulses of `from` up to here have all their copies before upTo or later.
    const double reach = jitterReach * p.jitter;
    const double limit = static_cast<double>(upTo) + reach - p.delay;
    const std::uint64_t *source = from.own.data() + (p.next - from.ownBase);
    const std::uint64_t *const end = from.own.data() + from.own.size();
    const std::uint64_t *at = source;
    Random rng = p.rng;
    const double fraction = p.fraction, delay = p.delay, jitter = p.jitter;
    const auto before = static_cast<std::ptrdiff_t>(q.size());
    for (; at != end && static_cast<double>(*at) < limit; ++at) {
        if (fraction < 1 && rng.uniform() > fraction)
            continue;
        double dt = delay;
        if (jitter > 0)
            dt += std::clamp(rng.normal() * jitter, -reach, reach);
        const double when = static_cast<double>(*at) + dt;
        q.push_back(when <= 0 ? 0 : static_cast<std::uint64_t>(std::llround(when)));
    }
    // Copies land at or after the last production's end, so never before what is emitted. They
    // are merged in as a sorted run: inserting them one by one moved every later copy of
    // another pair into the same channel each time, quadratic in the pulses of a slice.
    const auto pending = q.begin() + static_cast<std::ptrdiff_t>(to.inheritedNext);
    const auto fresh = q.begin() + before;
    if (!std::is_sorted(fresh, q.end()))
        std::sort(fresh, q.end());
    std::inplace_merge(pending, fresh, q.end());
    p.next += static_cast<std::uint64_t>(at - source);
    p.rng = rng;
}

void ModelSource::emit(Channel &ch, std::uint32_t index, std::uint64_t upTo, EventLane &lane)
{
    Comparator cmp{ch.fallAt, ch.lastAccepted, ch.deadTime, static_cast<std::uint16_t>(index),
                   ch.high,   ch.accepted,     ch.fallLost};
    Random heights = ch.heights;
    const double pass = ch.pass;
    const bool coin = pass > 0 && pass < 1;
    const std::uint64_t width = ch.width;
    // The pulse height decides whether the comparator fires at all.
    const auto clears = [&] { return pass > 0 && !(coin && heights.uniform() > pass); };

    if (!ch.source && ch.inheritedNext == ch.inherited.size() && ch.nextNoise >= upTo) {
        // The common case: only the channel's own pulses, straight from its generator.
        Random pulses = ch.pulses;
        std::uint64_t next = ch.nextOwn, count = ch.count;
        double fraction = ch.fraction;
        const bool periodic = ch.periodic;
        const double period = ch.period, meanGap = ch.meanGap;
        while (next < upTo) {
            Event *w = lane.tail(2 * pulsesPerChunk);
            for (std::size_t k = 0; k < pulsesPerChunk && next < upTo; ++k) {
                const std::uint64_t t = next;
                stepOwn(periodic, period, meanGap, count, pulses, next, fraction);
                if (clears())
                    w = cmp.fire(w, t, width);
            }
            lane.commit(w);
        }
        ch.pulses = pulses;
        ch.nextOwn = next;
        ch.count = count;
        ch.fraction = fraction;
    } else {
        // Own pulses, inherited ones and noise crossings, taken in time order. In locals, as
        // above.
        auto &q = ch.inherited;
        const bool source = ch.source;
        const std::uint64_t *ownAt = source ? ch.own.data() + (ch.ownNext - ch.ownBase) : nullptr;
        const std::uint64_t *const ownEnd = source ? ch.own.data() + ch.own.size() : nullptr;
        const std::uint64_t *inheritedAt = q.data() + ch.inheritedNext;
        const std::uint64_t *const inheritedEnd = q.data() + q.size();
        Random pulses = ch.pulses;
        std::uint64_t next = ch.nextOwn, count = ch.count, noise = ch.nextNoise;
        double fraction = ch.fraction;
        const bool periodic = ch.periodic;
        const double period = ch.period, meanGap = ch.meanGap;
        for (bool more = true; more;) {
            Event *w = lane.tail(2 * pulsesPerChunk);
            for (std::size_t k = 0; k < pulsesPerChunk; ++k) {
                const std::uint64_t own = !source ? next : ownAt != ownEnd ? *ownAt : noTime;
                const std::uint64_t inherited = inheritedAt != inheritedEnd ? *inheritedAt : noTime;
                const std::uint64_t t = std::min({own, inherited, noise});
                if (t >= upTo) {
                    more = false;
                    break;
                }
                if (t == noise) {
                    w = cmp.fire(w, t, ch.noiseWidth);
                    drawNoise(ch, t + 1);
                    noise = ch.nextNoise;
                    continue;
                }
                if (t == own) {
                    if (source)
                        ++ownAt;
                    else
                        stepOwn(periodic, period, meanGap, count, pulses, next, fraction);
                } else {
                    ++inheritedAt;
                }
                if (clears())
                    w = cmp.fire(w, t, width);
            }
            lane.commit(w);
        }
        if (source)
            ch.ownNext = ch.ownBase + static_cast<std::uint64_t>(ownAt - ch.own.data());
        ch.inheritedNext = static_cast<std::size_t>(inheritedAt - q.data());
        ch.pulses = pulses;
        ch.nextOwn = next;
        ch.count = count;
        ch.fraction = fraction;
        if (ch.inheritedNext >= inheritedCompaction && 2 * ch.inheritedNext >= q.size()) {
            q.erase(q.begin(), q.begin() + static_cast<std::ptrdiff_t>(ch.inheritedNext));
            ch.inheritedNext = 0;
        }
    }
    if (cmp.high && cmp.fallAt < upTo) {
        lane.commit(put(lane.tail(1), cmp.fallAt, cmp.channel, Edge::falling, cmp.fallLost));
        cmp.high = false;
    }
    ch.heights = heights;
    ch.high = cmp.high;
    ch.fallAt = cmp.fallAt;
    ch.fallLost = cmp.fallLost;
    ch.accepted = cmp.accepted;
    ch.lastAccepted = cmp.lastAccepted;
}

void ModelSource::produce(std::uint64_t upTo, std::vector<EventLane> &lanes)
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
