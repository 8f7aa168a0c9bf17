#include "tagfifo.h"

#include <algorithm>
#include <cmath>

namespace kestrane {

TagFifo::TagFifo(std::uint64_t capacityTags, double linkBytesPerSecond, std::size_t packetWords)
    : capacity_(std::max<std::uint64_t>(1, capacityTags)),
      tagsPerNs_(linkBytesPerSecond / 4.0 * 1e-9),
      packetWords_(std::max<std::size_t>(16, packetWords))
{
}

void TagFifo::reset(std::int64_t nowNs)
{
    fifo_.clear();
    tagsInFifo_ = 0;
    drainedTo_ = nowNs;
    credit_ = 0;
    std::fill(std::begin(pendingLost_), std::end(pendingLost_), 0);
    std::fill(std::begin(lostPerChannel_), std::end(lostPerChannel_), 0);
    anyPending_ = false;
    packet_.clear();
    sent_ = 0;
    lost_ = 0;
}

void TagFifo::queueMarkers()
{
    for (std::uint8_t c = 0; c < 64; ++c)
        if (pendingLost_[c]) {
            fifo_.push_back({{pendingFirst_[c], c, tagwire::rising}, pendingLost_[c]});
            pendingLost_[c] = 0;
        }
    anyPending_ = false;
}

void TagFifo::offer(const tagwire::Tag &tag, std::int64_t atNs, Outbox &out)
{
    advance(atNs, out, false);
    if (tagsInFifo_ >= capacity_) {
        const std::uint8_t c = tag.channel % 64;
        if (pendingLost_[c] == 0)
            pendingFirst_[c] = tag.time;
        ++pendingLost_[c];
        anyPending_ = true;
        ++lost_;
        ++lostPerChannel_[c];
        return;
    }
    if (anyPending_)
        queueMarkers();
    if (fifo_.empty() && credit_ >= 1.0) {
        // The link is idle and may take it: straight through, as most tags go at rates the
        // link carries.
        put({tag, 0}, out);
        credit_ -= 1.0;
        return;
    }
    fifo_.push_back({tag, 0});
    ++tagsInFifo_;
}

void TagFifo::dropped(std::uint8_t channel, std::uint64_t count, std::uint64_t time)
{
    if (count == 0)
        return;
    const std::uint8_t c = channel % 64;
    if (pendingLost_[c] == 0)
        pendingFirst_[c] = time;
    pendingLost_[c] += count;
    anyPending_ = true;
    lost_ += count;
    lostPerChannel_[c] += count;
}

void TagFifo::advance(std::int64_t nowNs, Outbox &out, bool flush)
{
    if (nowNs > drainedTo_) {
        credit_ += static_cast<double>(nowNs - drainedTo_) * tagsPerNs_;
        drainedTo_ = nowNs;
    }
    // An idle link does not save up capacity beyond what the FIFO could hold.
    if (tagsInFifo_ == 0)
        credit_ = std::min(credit_, 1.0);
    if (credit_ >= 1.0) {
        const auto n = static_cast<std::uint64_t>(std::floor(credit_));
        const std::uint64_t take = std::min<std::uint64_t>(n, tagsInFifo_);
        drain(take, out);
        credit_ -= static_cast<double>(take);
        if (tagsInFifo_ == 0)
            credit_ = std::min(credit_, 1.0);
    }
    // Once there is room again, the host hears of the losses without waiting for a tag.
    if (anyPending_ && tagsInFifo_ < capacity_) {
        queueMarkers();
        drain(0, out); // markers at the front leave at once
    }
    if (flush && !packet_.empty())
        sendPacket(out);
}

void TagFifo::drain(std::uint64_t tags, Outbox &out)
{
    while (tags > 0 || (!fifo_.empty() && fifo_.front().lostCount)) {
        if (fifo_.empty())
            break;
        const Entry e = fifo_.front();
        fifo_.pop_front();
        put(e, out);
        if (!e.lostCount) {
            --tagsInFifo_;
            --tags;
        }
    }
}

void TagFifo::put(const Entry &e, Outbox &out)
{
    if (packet_.empty())
        encoder_.begin(packet_, e.tag.time);
    if (e.lostCount) {
        encoder_.overflow(packet_, e.tag.channel, e.lostCount, e.tag.time);
    } else {
        encoder_.add(packet_, e.tag);
        ++sent_;
    }
    if (packet_.size() + tagwire::overflowWords + 2 >= packetWords_)
        sendPacket(out);
}

void TagFifo::sendPacket(Outbox &out)
{
    out.emplace_back(std::uint8_t{3}, std::move(packet_));
    packet_ = {};
    packet_.reserve(packetWords_);
}

void TagFifo::drainAll(Outbox &out)
{
    if (anyPending_)
        queueMarkers();
    drain(tagsInFifo_, out);
    credit_ = 0;
    if (!packet_.empty())
        sendPacket(out);
}

} // namespace kestrane
