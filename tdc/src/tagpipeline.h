#pragma once
// The host's half of a time-tag capture: packets from the link's receive thread go into a
// bounded queue; the capture thread decodes them into batches and runs the callback. A full
// queue drops the newest packet and counts its tags as lost, per channel, so the receive
// thread never waits for the consumer and memory never grows without bound.
//
// Owned by Dorrin, one per capture. push() from any thread; the rest from the owner. The
// destructor stops the capture thread after the callback it is running returns; packets
// still queued are dropped and counted as lost.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tdc/dorrin.h"

class TagPipeline {
public:
    static constexpr std::size_t defaultBatchTags = 65536;
    static constexpr std::size_t defaultQueuePackets = 1024;
    static constexpr std::size_t maxChannels = 64;

    TagPipeline(Dorrin::Callback callback, std::size_t batchTags, std::size_t queuePackets);
    ~TagPipeline();
    TagPipeline(const TagPipeline &) = delete;
    TagPipeline &operator=(const TagPipeline &) = delete;

    void push(std::unique_ptr<std::vector<std::uint32_t>> packet);
    // From now on packets are not delivered but counted as lost: the capture has been stopped
    // and its consumer may be gone.
    void close();
    // Waits until every packet pushed before the call has been handled; 0 waits without limit.
    bool waitEmpty(std::chrono::milliseconds timeout);

    std::uint64_t captured() const { return captured_.load(); }
    // Packets that have arrived, delivered or not.
    std::uint64_t arrived() const;
    std::uint64_t lost() const;
    std::uint64_t lost(std::uint8_t channel) const;
    bool onCaptureThread() const { return std::this_thread::get_id() == worker_.get_id(); }

private:
    void run();
    void deliver(std::vector<Dorrin::measurement> &batch);
    void addLoss(const Dorrin::loss &l, bool board);

    Dorrin::Callback callback_;
    std::size_t batchTags_;
    std::size_t queuePackets_;

    mutable std::mutex mutex_; // queue, counters of packets, pending losses
    std::condition_variable wake_;
    std::condition_variable handled_;
    std::deque<std::unique_ptr<std::vector<std::uint32_t>>> queue_;
    std::uint64_t pushed_ = 0;
    std::uint64_t done_ = 0;
    bool stop_ = false;
    bool closed_ = false;
    bool delivering_ = false;
    std::vector<Dorrin::loss> pendingLosses_; // reported with the next batch

    std::atomic<std::uint64_t> captured_{0};
    std::array<std::atomic<std::uint64_t>, maxChannels> lost_{};
    std::thread worker_;
};

// Lets the capture thread publish the losses that precede the batch it is delivering.
void setLossesBeforeBatch(const std::vector<Dorrin::loss> *losses);
