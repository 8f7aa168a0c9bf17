#include "tdc/dorrin.h"

#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "log.h"
#include "modulefactory.h"
#include "registers.h"
#include "tagpipeline.h"
#include "tdc/tdcerror.h"
#include "tdclink.h"

namespace regs = tdcregs::tagger;

namespace {
// A stop waits at most this many request time-outs for its answer while tags still arrive.
constexpr int maxStopRounds = 30;
// and at least this long, even when no tags arrive in between.
constexpr std::chrono::milliseconds minStopWait{1000};
} // namespace

// Shared with the link's stream handler, which holds it weakly, so a packet arriving while
// the module goes away finds nothing to deliver to.
struct Dorrin::State {
    std::shared_ptr<TDCLink> link;
    std::uint32_t base = 0;

    mutable std::mutex mutex; // everything below
    std::shared_ptr<TagPipeline> pipeline;
    ChannelMap channels;
    bool enabled = false;
    bool streamRegistered = false;
    // Counts of the captures before the current one are not kept: enable() starts afresh.

    std::shared_ptr<TagPipeline> current() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return pipeline;
    }
};

Dorrin::Dorrin(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
               std::shared_ptr<TDCLink> link, const Parameters &p)
    : TessaronModule(base, size, hw, sw), state_(std::make_shared<State>()), p_(p)
{
    state_->link = std::move(link);
    state_->base = base;
}

Dorrin::~Dorrin()
{
    std::shared_ptr<TagPipeline> pipeline;
    bool wasEnabled = false;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        pipeline = std::move(state_->pipeline);
        wasEnabled = state_->enabled;
        state_->enabled = false;
    }
    if (state_->streamRegistered)
        state_->link->setStreamCallback(regs::stream, {});
    // Leave a quiet board behind; a board that is gone costs nothing here.
    if (wasEnabled && state_->link->isOpen())
        state_->link->post(baseAddress() + regs::control, {0});
    if (pipeline && pipeline->onCaptureThread())
        TDC_LOG(tdclog::error, "The time tagger was destroyed from its own callback");
    else
        pipeline.reset(); // joins the capture thread after its callback returns
}

std::error_code Dorrin::enable(Callback callback, std::uint32_t batchTags, const ChannelMap &channels,
                               std::uint32_t queuePackets)
{
    if (!callback)
        return make_error_code(tdcError::invalidArgument);
    std::uint32_t mask[4] = {0, 0, 0, 0}; // rising low, rising high, falling low, falling high
    for (const auto &[channel, edges] : channels) {
        if (channel >= p_.numChannels || channel >= 64 || edges < 1 || edges > 3)
            return make_error_code(tdcError::invalidArgument);
        if (edges & 1)
            mask[channel / 32] |= 1u << (channel % 32);
        if (edges & 2)
            mask[2 + channel / 32] |= 1u << (channel % 32);
    }
    {
        auto old = state_->current();
        if (old && old->onCaptureThread())
            return make_error_code(tdcError::invalidArgument);
    }
    if (const auto ec = disable())
        return ec;

    auto pipeline = std::make_shared<TagPipeline>(std::move(callback), batchTags, queuePackets);
    std::shared_ptr<TagPipeline> old;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        old = std::exchange(state_->pipeline, pipeline);
        state_->channels = channels;
    }
    old.reset();
    if (!state_->streamRegistered) {
        std::weak_ptr<State> weak = state_;
        const auto ec = state_->link->setStreamCallback(
            regs::stream, [weak](std::uint8_t, std::unique_ptr<std::vector<std::uint32_t>> packet) {
                if (const auto state = weak.lock())
                    if (const auto p = state->current())
                        p->push(std::move(packet));
            });
        if (ec)
            return ec;
        state_->streamRegistered = true;
    }
    if (const auto ec = state_->link->write(baseAddress() + regs::risingMask, {mask[0], mask[1], mask[2], mask[3]}))
        return ec;
    if (const auto ec = state_->link->write(baseAddress() + regs::control, {regs::controlEnable}))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->enabled = true;
    return {};
}

std::error_code Dorrin::disable()
{
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!state_->enabled)
            return {};
        state_->enabled = false;
    }
    // The board answers after it has sent what its FIFO held, so once this returns every tag
    // of the capture is in the queue.
    auto ec = state_->link->write(baseAddress() + regs::control, {0});
    // On a busy link that answer queues behind megabytes of tags and can miss the request
    // time-out while the board is fine. As long as tags keep coming, the answer is on its way:
    // ask again (an answer leaves after everything sent before it) until one comes or the
    // stream falls silent for a whole time-out.
    if (ec == tdcError::timeout)
        if (const auto p = state_->current()) {
            const auto start = std::chrono::steady_clock::now();
            std::uint64_t arrived = p->arrived();
            for (int round = 0; round < maxStopRounds && ec == tdcError::timeout; ++round) {
                std::vector<std::uint32_t> words;
                ec = state_->link->read(baseAddress() + regs::control, 1, words);
                if (!ec && (words[0] & regs::controlEnable))
                    ec = state_->link->write(baseAddress() + regs::control, {0});
                const std::uint64_t now = p->arrived();
                // A board busy gathering the last tags may say nothing for a moment.
                if (now == arrived && std::chrono::steady_clock::now() - start >= minStopWait)
                    break;
                arrived = now;
            }
        }
    // The board sends its last tags before it answers. Whatever comes later (after an answer
    // that timed out) is counted as lost rather than handed to a consumer that has moved on.
    if (const auto p = state_->current())
        p->close();
    if (ec)
        TDC_LOG(tdclog::warning, "Time tagger at 0x" << std::hex << baseAddress() << std::dec
                                                     << ": cannot stop the stream: " << ec.message());
    return ec;
}

bool Dorrin::enabled() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->enabled;
}

std::uint64_t Dorrin::captured_events() const
{
    const auto p = state_->current();
    return p ? p->captured() : 0;
}

std::uint64_t Dorrin::lost_events() const
{
    const auto p = state_->current();
    return p ? p->lost() : 0;
}

std::uint64_t Dorrin::lost_events(std::uint8_t channel) const
{
    const auto p = state_->current();
    return p ? p->lost(channel) : 0;
}

bool Dorrin::queue_waitEmpty(std::chrono::milliseconds timeout)
{
    const auto p = state_->current();
    if (!p)
        return true;
    if (p->onCaptureThread())
        return false;
    return p->waitEmpty(timeout);
}

std::string Dorrin::settingsJson() const
{
    nlohmann::json j;
    j["tagUnit"] = p_.tagUnit;
    j["channelCount"] = p_.numChannels;
    j["fifoTags"] = p_.fifoTags;
    j["linkBytesPerSecond"] = p_.linkBytesPerSecond;
    nlohmann::json channels = nlohmann::json::object();
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        for (const auto &[channel, edges] : state_->channels)
            channels[std::to_string(channel)] = edges == 1 ? "rising" : edges == 2 ? "falling" : "both";
    }
    j["channels"] = channels;
    return j.dump();
}

std::unique_ptr<TessaronModule> createDorrin(const ModuleEntry &e, const std::shared_ptr<TDCLink> &link)
{
    const auto words = readModuleRegisters(*link, e, "time tagger", regs::channels, regs::tagUnitFs - regs::channels + 1);
    Dorrin::Parameters p;
    p.numChannels = words[0];
    p.fifoTags = words[regs::fifoTags - regs::channels];
    p.linkBytesPerSecond = words[regs::linkBytesPerSecond - regs::channels];
    const std::uint32_t unitFs = words[regs::tagUnitFs - regs::channels];
    if (p.numChannels == 0 || p.numChannels > 64)
        throw std::runtime_error("The time tagger reports " + std::to_string(p.numChannels) + " channels");
    if (unitFs == 0)
        throw std::runtime_error("The time tagger reports a tag unit of 0");
    p.tagUnit = unitFs * 1e-15;
    return std::make_unique<Dorrin>(e.base, e.size, e.hw, e.sw, link, p);
}
