#pragma once
// The time tagger's output path as hardware has it: a FIFO of finite size drained by a link
// of finite rate. Tags enter at their own time; the link takes them out at its rate into
// packets of the tag stream. A tag that finds the FIFO full is dropped and counted, and an
// overflow marker with the count and the first dropped tag's time goes into the FIFO ahead of
// the next tag that fits, so the host always learns of it.
//
// A value owned by the time tagger module; called under the board's mutex.

#include <cstdint>
#include <deque>
#include <vector>

#include "../module.h"
#include "tagencoder.h"

namespace kestrane {

class TagFifo {
public:
    static constexpr std::size_t defaultPacketWords = 16384;

    TagFifo(std::uint64_t capacityTags, double linkBytesPerSecond, std::size_t packetWords = defaultPacketWords);

    // Empties the FIFO and the counts; the link starts draining at `nowNs`.
    void reset(std::int64_t nowNs);
    // A tag that happened at board time `atNs` (not before the previous one).
    void offer(const tagwire::Tag &tag, std::int64_t atNs, Outbox &out);
    // `count` tags of `channel` never reached the FIFO (the module fell behind the events),
    // the first at board time `time`: counted and announced like tags the FIFO dropped.
    void dropped(std::uint8_t channel, std::uint64_t count, std::uint64_t time);
    // Lets the link drain up to `nowNs`; sends full packets, and what is left when `flush`.
    void advance(std::int64_t nowNs, Outbox &out, bool flush);
    // Sends everything the FIFO holds, markers owed included, regardless of the link's rate.
    void drainAll(Outbox &out);

    std::uint64_t sent() const { return sent_; }
    std::uint64_t lost() const { return lost_; }
    std::uint64_t lost(std::uint8_t channel) const { return lostPerChannel_[channel % 64]; }
    std::size_t occupancy() const { return tagsInFifo_; }

private:
    struct Entry {
        tagwire::Tag tag;
        std::uint64_t lostCount = 0; // non-zero: an overflow marker for tag.channel
    };
    void drain(std::uint64_t tags, Outbox &out);
    void put(const Entry &e, Outbox &out);
    void sendPacket(Outbox &out);
    void queueMarkers();

    std::uint64_t capacity_;
    double tagsPerNs_;
    std::size_t packetWords_;

    std::deque<Entry> fifo_;
    std::size_t tagsInFifo_ = 0;
    std::int64_t drainedTo_ = 0;
    double credit_ = 0; // tags the link may still take, fractional

    std::uint64_t pendingLost_[64] = {};
    std::uint64_t pendingFirst_[64] = {};
    bool anyPending_ = false;

    tagwire::Encoder encoder_;
    std::vector<std::uint32_t> packet_;
    std::uint64_t sent_ = 0;
    std::uint64_t lost_ = 0;
    std::uint64_t lostPerChannel_[64] = {};
};

} // namespace kestrane
