#include "eventengine.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrane {

namespace {
constexpr std::uint64_t bit(std::uint32_t c) { return std::uint64_t(1) << c; }
// A lane is compacted once this many events before the slowest reader have piled up, and they
// are at least half of it: the erase then costs about one move per event.
constexpr std::size_t minCompaction = 4096;

// One cursor per selected channel of a reader: the next event that qualifies, or none.
struct Cursor {
    const Event *at;
    const Event *end;
    std::uint8_t edges; // bit 0 rising, bit 1 falling, as Edge's values
    std::uint32_t channel;
};

// Moves a cursor to its next event the reader wants. With every event wanted there is nothing
// to skip.
template <bool EveryEvent> inline void settle(Cursor &k, bool processed)
{
    if (EveryEvent)
        return;
    while (k.at != k.end && !((static_cast<std::uint8_t>(k.at->edge) & k.edges) && !(processed && k.at->lost)))
        ++k.at;
}

constexpr std::uint64_t exhausted = std::numeric_limits<std::uint64_t>::max();

inline std::uint64_t headTime(const Cursor &k) { return k.at != k.end ? k.at->time : exhausted; }

// Merges the cursors into time order with a tree of losers over 2^Levels leaves: each event
// costs Levels matches on the path from its cursor to the root, instead of a look at every
// cursor. A match compares keys that pack the time since `base` above the cursor's slot
// (slots are in channel order, so at equal times the lower channel comes first): one
// comparison and two conditional moves, no branch. Which cursor wins is unpredictable, and a
// misprediction would cost more than all the matches of an event.
// Needs every time of the merge below base + 2^(64 − slotBits) − 1.
constexpr int slotBits = 6;
constexpr std::uint64_t slotMask = (std::uint64_t(1) << slotBits) - 1;

// One match of the tree: the smaller key goes on up in `key`, the larger stays in `stored`.
// Two conditional moves after one comparison: the winner is unpredictable, so a jump would
// mispredict half the time, and the matches of an event are a chain, one waiting for the
// other. The compiler makes a jump of a plain min and max, so the moves are spelled out.
inline void match(std::uint64_t &stored, std::uint64_t &key)
{
#if defined(__x86_64__) && defined(__GNUC__)
    std::uint64_t s = stored, k = key;
    const std::uint64_t s0 = s;
    asm("cmp %[k], %[s]\n\t"
        "cmovb %[k], %[s]\n\t"
        "cmovb %[s0], %[k]"
        : [s] "+&r"(s), [k] "+&r"(k)
        : [s0] "r"(s0)
        : "cc");
    stored = s;
    key = k;
#else
    const std::uint64_t swap = (stored ^ key) & (std::uint64_t(0) - (stored < key));
    stored ^= swap;
    key ^= swap;
#endif
}

template <bool EveryEvent, int Levels>
std::size_t mergeTree(Cursor *cursors, std::size_t n, Event *out, std::size_t capacity, bool processed,
                      std::uint64_t base)
{
    constexpr std::size_t leaves = std::size_t(1) << Levels;
    const auto keyOf = [base](const Event *e, const Event *end, std::uint64_t slot) {
        return e != end ? ((e->time - base) << slotBits) | slot : exhausted;
    };
    // Per cursor, the wanted event after its head and that event's key, found one event
    // ahead: when the cursor wins, its next key is a load by slot instead of a load of the
    // cursor and then one of its event, and finding the one after that is off the path from
    // one winner to the next.
    const Event *after[leaves];
    std::uint64_t afterKey[leaves];
    const auto lookAhead = [&](std::size_t slot) {
        Cursor k = cursors[slot];
        if (k.at != k.end) {
            ++k.at;
            settle<EveryEvent>(k, processed);
        }
        after[slot] = k.at;
        afterKey[slot] = keyOf(k.at, k.end, slot);
    };
    std::uint64_t loser[leaves]; // loser[0] is the overall winner
    {
        // Every match played once, bottom up; node i's children are 2i and 2i + 1, leaf s is
        // node leaves + s.
        std::uint64_t winner[2 * leaves];
        for (std::size_t s = 0; s < leaves; ++s) {
            winner[leaves + s] = s < n ? keyOf(cursors[s].at, cursors[s].end, s) : exhausted;
            if (s < n)
                lookAhead(s);
        }
        for (std::size_t node = leaves - 1; node >= 1; --node) {
            winner[node] = std::min(winner[2 * node], winner[2 * node + 1]);
            loser[node] = std::max(winner[2 * node], winner[2 * node + 1]);
        }
        loser[0] = winner[1];
    }
    std::uint64_t top = loser[0];
    std::size_t written = 0;
    while (written < capacity && top != exhausted) {
        const std::size_t slot = static_cast<std::size_t>(top & slotMask);
        std::uint64_t key = afterKey[slot];
        out[written++] = *cursors[slot].at;
        cursors[slot].at = after[slot];
        lookAhead(slot);
        std::size_t node = (leaves + slot) >> 1;
#pragma GCC unroll 8
        for (int level = 0; level < Levels; ++level, node >>= 1)
            match(loser[node], key);
        top = key;
    }
    return written;
}

// The same merge as a scan of every cursor's head, for a merge whose times span too long for
// the packed keys (a reader that lags by days).
template <bool EveryEvent>
std::size_t mergeScan(Cursor *cursors, std::size_t n, Event *out, std::size_t capacity, bool processed)
{
    std::size_t written = 0;
    while (written < capacity) {
        std::size_t best = n;
        std::uint64_t first = exhausted;
        // Strictly earlier only: at equal times the lower channel stays first.
        for (std::size_t i = 0; i < n; ++i)
            if (cursors[i].at != cursors[i].end && cursors[i].at->time < first) {
                first = cursors[i].at->time;
                best = i;
            }
        if (best == n)
            break;
        Cursor &k = cursors[best];
        out[written++] = *k.at++;
        settle<EveryEvent>(k, processed);
    }
    return written;
}

template <bool EveryEvent>
std::size_t mergeActive(Cursor *cursors, std::size_t n, Event *out, std::size_t capacity, bool processed)
{
    if (n == 0)
        return 0;
    if (n == 1) {
        Cursor &k = cursors[0];
        std::size_t written = 0;
        while (k.at != k.end && written < capacity) {
            out[written++] = *k.at++;
            settle<EveryEvent>(k, processed);
        }
        return written;
    }
    std::uint64_t base = exhausted, last = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (cursors[i].at != cursors[i].end) {
            base = std::min(base, cursors[i].at->time);
            last = std::max(last, cursors[i].end[-1].time);
        }
    if (base == exhausted)
        return 0;
    if (last - base >= (exhausted >> slotBits))
        return mergeScan<EveryEvent>(cursors, n, out, capacity, processed);
    switch (n <= 2 ? 1 : n <= 4 ? 2 : n <= 8 ? 3 : n <= 16 ? 4 : n <= 32 ? 5 : 6) {
    case 1: return mergeTree<EveryEvent, 1>(cursors, n, out, capacity, processed, base);
    case 2: return mergeTree<EveryEvent, 2>(cursors, n, out, capacity, processed, base);
    case 3: return mergeTree<EveryEvent, 3>(cursors, n, out, capacity, processed, base);
    case 4: return mergeTree<EveryEvent, 4>(cursors, n, out, capacity, processed, base);
    case 5: return mergeTree<EveryEvent, 5>(cursors, n, out, capacity, processed, base);
    default: return mergeTree<EveryEvent, 6>(cursors, n, out, capacity, processed, base);
    }
}

// Only cursors with events in the slice take part, so a quiet channel (the sync input between
// its ticks) does not add a level to every event's path through the tree.
template <bool EveryEvent>
std::size_t mergeCursors(Cursor *cursors, std::size_t n, Event *out, std::size_t capacity, bool processed)
{
    Cursor active[64];
    std::size_t from[64];
    std::size_t m = 0;
    for (std::size_t i = 0; i < n; ++i) {
        settle<EveryEvent>(cursors[i], processed);
        if (cursors[i].at != cursors[i].end) {
            from[m] = i;
            active[m++] = cursors[i];
        }
    }
    const std::size_t written = mergeActive<EveryEvent>(active, m, out, capacity, processed);
    for (std::size_t j = 0; j < m; ++j)
        cursors[from[j]] = active[j];
    return written;
}
} // namespace

EventEngine::Selection EventEngine::Selection::allRising(std::uint32_t channels, bool processed)
{
    Selection s;
    s.rising = channels >= 64 ? ~std::uint64_t(0) : bit(channels) - 1;
    s.processed = processed;
    return s;
}

EventEngine::EventEngine(std::unique_ptr<EventSource> source, std::uint32_t channels, double minBinWidth)
    : source_(std::move(source)),
      minBinWidth_(minBinWidth),
      unitsPerNs_(1e-9 / minBinWidth),
      lanes_(channels),
      base_(channels, 0),
      enabled_(channels, true),
      reenabled_(channels, false)
{
}

EventEngine::~EventEngine() = default;

std::uint64_t EventEngine::toUnits(std::int64_t ns) const
{
    if (ns <= 0)
        return 0;
    // long double keeps whole units exact over days of board time at 1 ps.
    return static_cast<std::uint64_t>(static_cast<long double>(ns) * static_cast<long double>(unitsPerNs_));
}

std::int64_t EventEngine::toNs(std::uint64_t units) const
{
    return static_cast<std::int64_t>(std::ceil(static_cast<long double>(units) / unitsPerNs_));
}

std::unique_ptr<EventEngine::Reader> EventEngine::openReader(const Selection &selection, std::uint64_t start)
{
    std::unique_ptr<Reader> r(new Reader(*this, selection, start));
    readers_.push_back(r.get());
    return r;
}

void EventEngine::setThreshold(std::uint32_t channel, double volts, std::uint64_t at)
{
    if (channel < channels())
        source_->setThreshold(channel, volts, std::max(at, frontier_));
}

void EventEngine::setEnabled(std::uint32_t channel, bool enabled)
{
    if (channel >= channels())
        return;
    if (enabled && !enabled_[channel])
        reenabled_[channel] = true;
    enabled_[channel] = enabled;
}

bool EventEngine::enabled(std::uint32_t channel) const
{
    return channel < channels() && enabled_[channel];
}

std::size_t EventEngine::retained() const
{
    std::size_t n = 0;
    for (const auto &l : lanes_)
        n += l.size();
    return n;
}

void EventEngine::produceTo(std::uint64_t upTo)
{
    if (upTo <= frontier_)
        return;
    // Sizes before, so the events of disabled channels can be taken back out: the comparator
    // of a disabled channel does not fire, whatever arrives at its input.
    std::vector<std::size_t> &before = sizesBefore_;
    before.resize(lanes_.size());
    std::size_t had = 0;
    for (std::size_t c = 0; c < lanes_.size(); ++c)
        had += before[c] = lanes_[c].size();
    source_->produce(upTo, lanes_);
    // Slices follow the event rate, so that each holds about sliceEvents.
    std::size_t made = 0;
    for (const auto &l : lanes_)
        made += l.size();
    made -= had;
    // From the rate just seen, whatever the length of this call (counters make long ones).
    const double span = static_cast<double>(upTo - frontier_);
    const double wanted = made > 0 ? span * sliceEvents / static_cast<double>(made) : 2.0 * static_cast<double>(sliceUnits_);
    if (made > 0 || span >= static_cast<double>(sliceUnits_))
        sliceUnits_ = static_cast<std::uint64_t>(
            std::clamp(wanted, static_cast<double>(minSliceUnits), static_cast<double>(maxSliceUnits)));
    frontier_ = upTo;
    for (std::size_t c = 0; c < lanes_.size(); ++c) {
        auto &lane = lanes_[c];
        if (!enabled_[c]) {
            lane.truncate(before[c]);
            continue;
        }
        if (reenabled_[c] && lane.size() > before[c]) {
            reenabled_[c] = false;
            if (lane[before[c]].edge == Edge::falling)
                lane.erase(before[c]);
        }
        if (lane.size() <= maxRetainedPerChannel)
            continue;
        // A reader has fallen far behind (or is not reading at all): keep the newest half
        // and tell the readers what they missed.
        const std::size_t drop = lane.size() - maxRetainedPerChannel / 2;
        const std::uint64_t newBase = base_[c] + drop;
        for (Reader *r : readers_)
            if (r->next_[c] < newBase) {
                // Only the events this reader would have read count as missed.
                const auto from = lane.begin() + static_cast<std::ptrdiff_t>(r->next_[c] - base_[c]);
                const auto to = lane.begin() + static_cast<std::ptrdiff_t>(drop);
                r->missed(static_cast<std::uint32_t>(c),
                          static_cast<std::uint64_t>(std::count_if(
                              from, to, [r, c](const Event &e) { return r->wants(static_cast<std::uint32_t>(c), e); })));
                r->next_[c] = newBase;
            }
        lane.dropFront(drop);
        base_[c] = newBase;
    }
}

void EventEngine::trim()
{
    for (std::uint32_t c = 0; c < lanes_.size(); ++c) {
        auto &lane = lanes_[c];
        const std::uint64_t end = base_[c] + lane.size();
        std::uint64_t keep = end;
        for (const Reader *r : readers_)
            if ((r->selection_.rising | r->selection_.falling) & bit(c))
                keep = std::min(keep, r->next_[c]);
        const std::size_t dead = static_cast<std::size_t>(keep - base_[c]);
        if (dead >= minCompaction && dead * 2 >= lane.size()) {
            lane.dropFront(dead);
            base_[c] = keep;
        } else if (dead == lane.size() && dead > 0) {
            lane.clear();
            base_[c] = keep;
        }
    }
}

EventEngine::Reader::Reader(EventEngine &engine, const Selection &selection, std::uint64_t start)
    : engine_(engine), position_(start), overrunPerChannel_(engine.channels(), 0), next_(engine.channels(), 0)
{
    // Events between the frontier and the start are made later; select() arranges to pass
    // over them then.
    select(selection);
    // Events between the frontier and the start are made later; they are not this reader's.
    seekAfterProducing_ = start > engine_.frontier_;
    // Channels outside the selection start at the end too, so they never hold events back.
    for (std::uint32_t c = 0; c < engine_.channels(); ++c)
        if (std::find(channels_.begin(), channels_.end(), c) == channels_.end())
            next_[c] = engine_.base_[c] + engine_.lanes_[c].size();
}

EventEngine::Reader::~Reader()
{
    auto &readers = engine_.readers_;
    readers.erase(std::remove(readers.begin(), readers.end(), this), readers.end());
}

void EventEngine::Reader::seek(std::uint32_t c)
{
    const auto &lane = engine_.lanes_[c];
    const std::uint64_t base = engine_.base_[c];
    if (next_[c] < base)
        next_[c] = base;
    const auto from = lane.begin() + static_cast<std::ptrdiff_t>(next_[c] - base);
    const auto it = std::lower_bound(from, lane.end(), position_,
                                     [](const Event &e, std::uint64_t t) { return e.time < t; });
    next_[c] = base + static_cast<std::uint64_t>(it - lane.begin());
}

void EventEngine::Reader::select(const Selection &selection)
{
    selection_ = selection;
    channels_.clear();
    for (std::uint32_t c = 0; c < engine_.channels(); ++c)
        if ((selection.rising | selection.falling) & bit(c)) {
            channels_.push_back(c);
            seek(c);
        }
    if (position_ > engine_.frontier_)
        seekAfterProducing_ = true;
}

void EventEngine::Reader::skipTo(std::uint64_t time)
{
    if (time <= position_)
        return;
    position_ = time;
    // Events before the frontier are passed over now, those after it once they are made.
    for (std::uint32_t c : channels_)
        seek(c);
    seekAfterProducing_ = time > engine_.frontier_;
}

void EventEngine::Reader::missed(std::uint32_t channel, std::uint64_t count)
{
    overrun_ += count;
    overrunPerChannel_[channel] += count;
}

bool EventEngine::Reader::wants(std::uint32_t c, const Event &e) const
{
    const std::uint64_t edges = e.edge == Edge::rising ? selection_.rising : selection_.falling;
    return ((edges >> c) & 1) && !(selection_.processed && e.lost);
}

void EventEngine::Reader::prepare(std::uint64_t upTo)
{
    engine_.produceTo(upTo);
    if (seekAfterProducing_) {
        seekAfterProducing_ = false;
        for (std::uint32_t c : channels_)
            seek(c);
    }
}

std::uint64_t EventEngine::Reader::count(std::uint64_t upTo, std::uint64_t *counts)
{
    if (upTo <= position_)
        return 0;
    prepare(upTo);
    std::uint64_t total = 0;
    const bool processed = selection_.processed;
    for (std::uint32_t c : channels_) {
        const auto &lane = engine_.lanes_[c];
        const std::uint64_t base = engine_.base_[c];
        if (next_[c] < base) {
            missed(c, base - next_[c]);
            next_[c] = base;
        }
        const Event *begin = lane.data() + (next_[c] - base);
        const Event *end = std::lower_bound(begin, lane.data() + lane.size(), upTo,
                                            [](const Event &e, std::uint64_t t) { return e.time < t; });
        const std::uint8_t edges = static_cast<std::uint8_t>(((selection_.rising >> c) & 1) |
                                                             (((selection_.falling >> c) & 1) << 1));
        std::uint64_t n = 0;
        if (edges == 3 && !processed) {
            n = static_cast<std::uint64_t>(end - begin);
        } else {
            for (const Event *e = begin; e != end; ++e)
                n += (static_cast<std::uint8_t>(e->edge) & edges) && !(processed && e->lost);
        }
        counts[c] += n;
        total += n;
        next_[c] = base + static_cast<std::uint64_t>(end - lane.data());
    }
    position_ = upTo;
    engine_.trim();
    return total;
}

std::size_t EventEngine::Reader::read(std::uint64_t upTo, Event *out, std::size_t capacity)
{
    std::size_t written = 0;
    // A slice at a time: the events are made, merged and let go while they are still in the
    // cache, and a reader far behind does not make the engine hold a long stretch at once.
    // What is made already is read in one go.
    while (written < capacity && position_ < upTo) {
        const std::uint64_t sliceEnd =
            std::min(upTo, std::max(engine_.frontier_, position_ + engine_.sliceUnits_));
        written += readSlice(sliceEnd, out + written, capacity - written);
    }
    return written;
}

std::size_t EventEngine::Reader::readSlice(std::uint64_t upTo, Event *out, std::size_t capacity)
{
    prepare(upTo);

    Cursor cursors[64];
    std::size_t n = 0;
    const bool processed = selection_.processed;
    for (std::uint32_t c : channels_) {
        const auto &lane = engine_.lanes_[c];
        const std::uint64_t base = engine_.base_[c];
        if (next_[c] < base) {
            // The engine let events go that this reader had not seen yet.
            missed(c, base - next_[c]);
            next_[c] = base;
        }
        const Event *begin = lane.data() + (next_[c] - base);
        // Only events before upTo take part.
        const Event *end = std::lower_bound(begin, lane.data() + lane.size(), upTo,
                                            [](const Event &e, std::uint64_t t) { return e.time < t; });
        const std::uint8_t edges = static_cast<std::uint8_t>(((selection_.rising >> c) & 1) |
                                                             (((selection_.falling >> c) & 1) << 1));
        cursors[n++] = {begin, end, edges, c};
    }
    // With both edges on the raw path every event qualifies and the check can be skipped.
    const bool everyEvent = !processed && std::all_of(cursors, cursors + n, [](const Cursor &k) { return k.edges == 3; });
    std::size_t written = 0;
    if (everyEvent)
        written = mergeCursors<true>(cursors, n, out, capacity, processed);
    else
        written = mergeCursors<false>(cursors, n, out, capacity, processed);

    bool complete = true;
    for (std::size_t i = 0; i < n; ++i) {
        const Cursor &k = cursors[i];
        const auto &lane = engine_.lanes_[k.channel];
        next_[k.channel] = engine_.base_[k.channel] + static_cast<std::uint64_t>(k.at - lane.data());
        if (k.at != k.end)
            complete = false;
    }
    if (complete) {
        position_ = upTo;
        engine_.trim();
    }
    return written;
}

} // namespace kestrane
