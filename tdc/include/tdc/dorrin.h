#pragma once
// The time tagger: every tag of the enabled channels and edges, streamed by the board as raw
// packets and handed to a callback in batches, with every loss counted per channel.
//
// Threads: packets arrive on the link's receive thread, which only queues them; it never
// waits for the consumer. The library's capture thread (one per enabled capture) decodes them
// and runs the callback. The queue is bounded: when the callback cannot keep up, whole
// packets are dropped and their tags counted in lost_events(), together with the tags the
// board itself dropped when its FIFO overflowed. The callback must not call enable() or
// disable(); doing so fails. Destroying the module (or its TDCBackend) disables capture and
// waits for a running callback to return.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "tdc/tdcexport.h"
#include "tdc/tdcmodule.h"
#include "tdc/tessaronmodule.h"

class TDCLink;
class TagPipeline;

class TDC_EXPORT Dorrin : public TessaronModule {
public:
    static constexpr std::uint32_t TypeID = 0x0030;
    std::uint32_t typeID() const override { return TypeID; }

    // Plain data, so that batches of millions are made without constructor work.
    struct measurement {
        std::uint8_t channel;
        std::uint8_t edge;  // 1 rising, 2 falling
        std::uint64_t tag;  // minimum bin widths since the board started
    };

    // Tags dropped on their way: `count` tags of `channel`, the first at about `tag`.
    struct loss {
        std::uint8_t channel = 0;
        std::uint64_t count = 0;
        std::uint64_t tag = 0;
    };

    using Callback = std::function<void(const std::vector<measurement> &)>;
    using ChannelMap = std::map<std::uint8_t, TDCChannel::edgeTrigger_type>;

    class file_writer;

    struct Parameters {
        std::uint32_t numChannels = 0;
        double tagUnit = 1e-12;            // seconds per tag unit (the minimum bin width)
        std::uint32_t fifoTags = 0;        // the board's FIFO
        double linkBytesPerSecond = 0;     // what the board's link carries
    };

    Dorrin(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
           std::shared_ptr<TDCLink> link, const Parameters &p);
    ~Dorrin() override;

    // Starts capture of the channels in `channels` (channel → 1 rising, 2 falling, 3 both).
    // `batchTags` is the largest batch handed to the callback and `queuePackets` the packets
    // the queue holds; 0 takes the defaults. Counts start again from zero.
    std::error_code enable(Callback callback, std::uint32_t batchTags, const ChannelMap &channels,
                           std::uint32_t queuePackets);
    // Stops the board's stream. Packets already queued are still delivered.
    std::error_code disable();
    bool enabled() const;

    std::uint64_t captured_events() const;
    // Board and host losses of this capture, in total and per channel.
    std::uint64_t lost_events() const;
    std::uint64_t lost_events(std::uint8_t channel) const;
    // Waits until every packet received before the call has reached the callback, at most
    // `timeout`; a zero time-out waits as long as that takes. True when it happened.
    bool queue_waitEmpty(std::chrono::milliseconds timeout);

    // Inside the callback: the losses the stream reported just before the batch being
    // delivered, in stream order. Empty on any other thread or outside the callback.
    static const std::vector<loss> &losses_before_batch();

    std::uint32_t numChannels() const { return p_.numChannels; }
    double tagUnit() const { return p_.tagUnit; }
    const Parameters &parameters() const { return p_; }
    // The capture's settings as a JSON object (channels, edges, unit, FIFO, link rate).
    std::string settingsJson() const;

private:
    struct State;
    std::shared_ptr<State> state_;
    Parameters p_;
};

#include "tdc/dorrinfilewriter.h"
