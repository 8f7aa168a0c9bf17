#pragma once
// What the time-tagging model needs of a time tagger, so that tests can script one. The
// program uses DorrinDevice, which passes every call to the device library's `Dorrin`.
//
// Threads: as `Dorrin`: the callback runs on the library's capture thread, everything else
// from the model's threads (GUI thread; the drain task on the pool).

#include <chrono>
#include <cstdint>
#include <memory>
#include <system_error>

#include "tdc/dorrin.h"

class TTMDevice {
public:
    virtual ~TTMDevice() = default;

    virtual std::error_code enable(Dorrin::Callback callback, const Dorrin::ChannelMap &channels) = 0;
    virtual std::error_code disable() = 0;
    virtual std::uint64_t captured_events() const = 0;
    virtual std::uint64_t lost_events() const = 0;
    // Waits until every tag received before the call has reached the callback; 0 waits as
    // long as that takes.
    virtual bool queue_waitEmpty(std::chrono::milliseconds timeout) = 0;
    // What a raw file's header says about a capture of `channels`.
    virtual Dorrin::file_writer::description describe(const Dorrin::ChannelMap &channels) const = 0;
};

// The device library's time tagger. Does not own the module.
class DorrinDevice : public TTMDevice {
public:
    explicit DorrinDevice(Dorrin *module) : m_module(module) {}

    std::error_code enable(Dorrin::Callback callback, const Dorrin::ChannelMap &channels) override;
    std::error_code disable() override;
    std::uint64_t captured_events() const override;
    std::uint64_t lost_events() const override;
    bool queue_waitEmpty(std::chrono::milliseconds timeout) override;
    Dorrin::file_writer::description describe(const Dorrin::ChannelMap &channels) const override;

private:
    Dorrin *m_module;
};

// The header description of a capture: the module's facts with the channels about to be
// enabled (the module itself only knows the channels of its previous capture).
Dorrin::file_writer::description describeCapture(const Dorrin::Parameters &parameters,
                                                 const Dorrin::ChannelMap &channels);
