#pragma once
// The board's one source of individual events. Every module that looks at the inputs
// (counters, histogrammers, the time tagger) reads the same events from here, so what they
// report agrees exactly, as on hardware.
//
// Times are counts of the minimum bin width since the board started (board units). Events are
// made lazily: nothing is produced until a reader asks for a time, and then only up to it, so
// a module that is off (has no reader) costs nothing.
//
// Each consumer opens a Reader (a cursor) with the channels and edges it wants and pulls the
// time-ordered events up to a board time, in batches into its own storage. A reader sees
// either the raw input or the processed path, where events lost to the dead time are left out.
//
// Where events come from is replaceable: an EventSource (the signal model, or a player of
// recorded files) appends per-channel events; the engine keeps them until every reader has
// passed them. Thresholds and channel enables, set by the DAC module, are the engine's: a
// disabled channel produces no events whatever the source.
//
// Ownership: the board owns the engine; the engine owns its source; readers are owned by the
// modules and must be destroyed before the engine. Not thread-safe: everything is called
// under the board's mutex.

#include <cstdint>
#include <memory>
#include <vector>

#include "eventlane.h"
#include "kestrane/profile.h"

namespace kestrane {

// Produces the events of every channel, in time order per channel.
class EventSource {
public:
    virtual ~EventSource() = default;
    // Appends to lanes[c] every event of channel c with time in [previous upTo, upTo).
    // Called with increasing upTo, starting from 0.
    virtual void produce(std::uint64_t upTo, std::vector<EventLane> &lanes) = 0;
    // The comparator threshold of a channel changed at board time `at` (volts). Sources that
    // replay recorded events may ignore it.
    virtual void setThreshold(std::uint32_t /*channel*/, double /*volts*/, std::uint64_t /*at*/) {}
    // True once the source will never produce another event (a recording played to its end).
    virtual bool exhausted() const { return false; }
};

// The board's event source for a profile: the signal model, seeded with `seed`.
std::unique_ptr<EventSource> makeEventSource(const Profile &profile, std::uint64_t seed);

class EventEngine {
public:
    // Which events a reader wants: bit c of `rising` / `falling` selects that edge of channel c.
    struct Selection {
        std::uint64_t rising = 0;
        std::uint64_t falling = 0;
        bool processed = false; // leave out events lost to the dead time

        static Selection allRising(std::uint32_t channels, bool processed);
    };

    class Reader {
    public:
        ~Reader();
        Reader(const Reader &) = delete;
        Reader &operator=(const Reader &) = delete;

        // Copies the selected events with time < upTo that have not been read yet into `out`,
        // in time order (equal times on different channels: lower channel first). Returns how
        // many; fewer than `capacity` means every event before upTo has been read.
        std::size_t read(std::uint64_t upTo, Event *out, std::size_t capacity);
        // Reads every selected event before `upTo` as read() would, but only adds one per event
        // to counts[channel] (which has channels() entries): counting needs no time order, so
        // it costs a pass per channel instead of a merge. Returns how many were counted.
        std::uint64_t count(std::uint64_t upTo, std::uint64_t *counts);
        // Passes over every event before `time` without reading it.
        void skipTo(std::uint64_t time);
        // Changes the selection; it applies to events from position() on.
        void select(const Selection &selection);
        const Selection &selection() const { return selection_; }
        // Board time up to which everything has been read or skipped.
        std::uint64_t position() const { return position_; }
        // Events this reader never saw because it fell so far behind that the engine had to
        // let them go.
        std::uint64_t overrun() const { return overrun_; }
        std::uint64_t overrun(std::uint32_t channel) const
        {
            return channel < overrunPerChannel_.size() ? overrunPerChannel_[channel] : 0;
        }

    private:
        friend class EventEngine;
        Reader(EventEngine &engine, const Selection &selection, std::uint64_t start);
        void seek(std::uint32_t channel);
        bool wants(std::uint32_t channel, const Event &e) const;
        void missed(std::uint32_t channel, std::uint64_t count);
        // Makes the events up to `upTo` and finds where this reader stands in them.
        void prepare(std::uint64_t upTo);
        std::size_t readSlice(std::uint64_t upTo, Event *out, std::size_t capacity);

        EventEngine &engine_;
        Selection selection_;
        std::uint64_t position_;
        std::uint64_t overrun_ = 0;
        std::vector<std::uint64_t> overrunPerChannel_;
        bool seekAfterProducing_ = false; // skipped past the frontier
        std::vector<std::uint64_t> next_; // per channel: absolute index of the next event
        std::vector<std::uint32_t> channels_; // the channels with a selected edge
    };

    EventEngine(std::unique_ptr<EventSource> source, std::uint32_t channels, double minBinWidth);
    ~EventEngine();
    EventEngine(const EventEngine &) = delete;
    EventEngine &operator=(const EventEngine &) = delete;

    // A reader that starts at board time `start`.
    std::unique_ptr<Reader> openReader(const Selection &selection, std::uint64_t start);

    std::uint32_t channels() const { return static_cast<std::uint32_t>(lanes_.size()); }
    // Board time in units from the board clock's nanoseconds, and back.
    std::uint64_t toUnits(std::int64_t ns) const;
    std::int64_t toNs(std::uint64_t units) const;
    double minBinWidth() const { return minBinWidth_; }

    // The comparator of a channel; the DAC module sets them. `at` is the board time of the
    // change: events the source makes from then on follow the new threshold.
    void setThreshold(std::uint32_t channel, double volts, std::uint64_t at);
    void setEnabled(std::uint32_t channel, bool enabled);
    bool enabled(std::uint32_t channel) const;

    // The source has nothing more to give: every event there will ever be is produced.
    bool sourceExhausted() const { return source_->exhausted(); }
    // Everything has been produced up to here.
    std::uint64_t frontier() const { return frontier_; }
    // Events held for readers that have not passed them yet.
    std::size_t retained() const;

    // A reader that falls further behind than this many events on one channel loses the
    // oldest, and counts them in its overrun().
    static constexpr std::size_t maxRetainedPerChannel = std::size_t(1) << 21;

private:
    void produceTo(std::uint64_t upTo);
    void trim();

    // Readers make events in slices of board time that hold about this many.
    static constexpr std::size_t sliceEvents = 8192;
    static constexpr std::uint64_t minSliceUnits = 1000;
    static constexpr std::uint64_t maxSliceUnits = std::uint64_t(1) << 40;

    std::unique_ptr<EventSource> source_;
    std::uint64_t sliceUnits_ = 1'000'000;
    std::vector<std::size_t> sizesBefore_;
    double minBinWidth_;
    double unitsPerNs_;
    std::uint64_t frontier_ = 0;
    std::vector<EventLane> lanes_; // per channel, time order
    std::vector<std::uint64_t> base_;       // absolute index of lanes_[c][0]
    std::vector<bool> enabled_;
    std::vector<bool> reenabled_; // drop a leading falling edge: its rising one came while off
    std::vector<Reader *> readers_;
};

} // namespace kestrane
