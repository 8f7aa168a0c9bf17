#include "tdc/tdcoldhistogrammermodule.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <stdexcept>
#include <thread>

#include "legacyregisters.h"
#include "registers.h"
#include "log.h"
#include "modulefactory.h"
#include "tdc/tdcerror.h"
#include "tdclink.h"

namespace regs = tdcregs::legacy;

// Shared between the module object and the link's range handler, which holds it weakly; an
// in-flight delivery keeps it (and the mutex it lends the callback) alive until it returns.
struct TDCOldHistogrammerModule::State {
    std::shared_ptr<TDCLink> link;
    std::uint32_t base = 0;
    std::size_t bins = 0;

    std::mutex dataMutex; // the library's mutex, handed to the counts callback

    std::mutex mutex; // everything below
    std::condition_variable idle;
    Callback callback;
    StateChangeCallback stateCallback;
    bool running = false;
    bool autoPush = false;
    unsigned bitTrunc = 0;
    std::uint64_t offset = 0; // minimum bin widths
    ChannelAndEdge reference{0, TDCChannel::RISING};
    ChannelAndEdge measurement{1, TDCChannel::RISING};
    bool alive = true;
    int delivering = 0;
    std::thread::id deliveringThread;

    // Runs `call` as one delivery, unless the module is gone.
    template <typename F> void deliver(F &&call)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!alive)
                return;
            ++delivering;
            deliveringThread = std::this_thread::get_id();
        }
        try {
            call();
        } catch (const std::exception &e) {
            TDC_LOG(tdclog::error, "Legacy histogrammer callback threw: " << e.what());
        } catch (...) {
            TDC_LOG(tdclog::error, "Legacy histogrammer callback threw an unknown exception");
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            --delivering;
        }
        idle.notify_all();
    }

    void onMessage(std::uint32_t address, const std::vector<std::uint32_t> &data)
    {
        if (address == base + regs::bins) {
            if (data.size() != bins) {
                TDC_LOG(tdclog::warning, "Legacy histogrammer at 0x" << std::hex << base << std::dec << " pushed "
                                                                     << data.size() << " bins instead of " << bins
                                                                     << "; dropped");
                return;
            }
            deliver([&] {
                Callback cb;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    cb = callback;
                }
                if (!cb)
                    return;
                const std::vector<std::uint64_t> counts(data.begin(), data.end());
                cb(dataMutex, counts);
            });
        } else if (address == base + regs::status && data.size() == 1) {
            const bool run = (data[0] & regs::statusRunning) != 0;
            deliver([&] {
                StateChangeCallback cb;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    running = run;
                    cb = stateCallback;
                }
                if (cb)
                    cb(run);
            });
        }
    }
};

TDCOldHistogrammerModule::TDCOldHistogrammerModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw,
                                                   TessaronVersion sw, std::shared_ptr<TDCLink> link,
                                                   const Parameters &p)
    : TessaronModule(base, size, hw, sw),
      bin_addr_width(p.binAddrWidth),
      bin_data_width(p.binDataWidth),
      bitOverflow(p.overflowBits),
      state_(std::make_shared<State>()),
      p_(p)
{
    state_->link = std::move(link);
    state_->base = base;
    state_->bins = std::size_t(1) << p.binAddrWidth;

    std::vector<std::uint32_t> words;
    if (!state_->link->read(base + regs::control, regs::measurement - regs::control + 1, words)) {
        state_->running = (words[0] & regs::controlRun) != 0;
        state_->autoPush = (words[0] & regs::controlAutoPush) != 0;
        state_->bitTrunc = words[regs::bitTrunc - regs::control];
        state_->offset = words[regs::offsetLow - regs::control] |
                         (std::uint64_t(words[regs::offsetLow + 1 - regs::control]) << 32);
        const auto unpack = [](std::uint32_t w) {
            return ChannelAndEdge{static_cast<std::uint16_t>(w & 0xFFFF),
                                  static_cast<TDCChannel::edgeTrigger_type>((w >> regs::edgeShift) & 3)};
        };
        state_->reference = unpack(words[regs::reference - regs::control]);
        state_->measurement = unpack(words[regs::measurement - regs::control]);
    }

    std::weak_ptr<State> weak = state_;
    const auto ec = state_->link->setRange(
        base, base + size - 1,
        [weak](std::uint32_t address, std::unique_ptr<std::vector<std::uint32_t>> data, mme_common::BurstType,
               std::error_code ec, std::uint32_t) {
            const auto state = weak.lock();
            if (!state || ec || !data)
                return;
            state->onMessage(address, *data);
        });
    if (ec)
        TDC_LOG(tdclog::error, "Legacy histogrammer at 0x" << std::hex << base
                                                           << ": cannot receive counts: " << ec.message());
}

TDCOldHistogrammerModule::~TDCOldHistogrammerModule()
{
    state_->link->deleteRange(baseAddress());
    bool wasActive = false;
    {
        std::unique_lock<std::mutex> lock(state_->mutex);
        state_->alive = false;
        wasActive = state_->running || state_->autoPush;
        // A callback that destroys its own module cannot wait for itself.
        if (!(state_->delivering > 0 && state_->deliveringThread == std::this_thread::get_id()))
            state_->idle.wait(lock, [this] { return state_->delivering == 0; });
    }
    // Leave a quiet board behind; a board that is gone costs nothing here.
    if (wasActive && state_->link->isOpen())
        state_->link->post(baseAddress() + regs::control,
                           {regs::controlWrite(regs::controlRun | regs::controlAutoPush | regs::controlTrigger, false)});
}

TDCOldHistogrammerModule::Callback TDCOldHistogrammerModule::setCallback(Callback cb)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::swap(cb, state_->callback);
    return cb;
}

TDCOldHistogrammerModule::StateChangeCallback TDCOldHistogrammerModule::setStateChangeCallback(StateChangeCallback cb)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::swap(cb, state_->stateCallback);
    return cb;
}

std::error_code TDCOldHistogrammerModule::writeControl(std::uint32_t bits, bool on)
{
    const auto ec = state_->link->write(baseAddress() + regs::control, {regs::controlWrite(bits, on)});
    if (ec)
        TDC_LOG(tdclog::error, "Legacy histogrammer at 0x" << std::hex << baseAddress()
                                                           << ": cannot write its control: " << ec.message());
    return ec;
}

std::error_code TDCOldHistogrammerModule::setBitTrunc(unsigned char bits)
{
    if (bits > maxBitTrunc())
        return make_error_code(tdcError::invalidArgument);
    if (const auto ec = state_->link->write(baseAddress() + regs::bitTrunc, {bits}))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->bitTrunc = bits;
    return {};
}

unsigned char TDCOldHistogrammerModule::getBitTrunc(bool fromBoard)
{
    std::vector<std::uint32_t> w;
    if (fromBoard && !state_->link->read(baseAddress() + regs::bitTrunc, 1, w)) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->bitTrunc = w[0];
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    return static_cast<unsigned char>(state_->bitTrunc);
}

std::error_code TDCOldHistogrammerModule::setBinW(duration binWidth)
{
    const double ratio = binWidth.count() / p_.minBinWidth;
    if (!std::isfinite(ratio) || ratio <= 0)
        return make_error_code(tdcError::invalidArgument);
    const double bits = std::clamp(std::round(std::log2(ratio)), 0.0, static_cast<double>(maxBitTrunc()));
    return setBitTrunc(static_cast<unsigned char>(bits));
}

TDCOldHistogrammerModule::duration TDCOldHistogrammerModule::getBinW() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return duration(std::ldexp(p_.minBinWidth, static_cast<int>(state_->bitTrunc)));
}

std::error_code TDCOldHistogrammerModule::setFSR(duration fullScale)
{
    return setBinW(duration(std::ldexp(fullScale.count(), -static_cast<int>(bin_addr_width))));
}

TDCOldHistogrammerModule::duration TDCOldHistogrammerModule::getFSR() const
{
    return duration(std::ldexp(getBinW().count(), static_cast<int>(bin_addr_width)));
}

std::error_code TDCOldHistogrammerModule::setTimeOffset(duration offset)
{
    const double units = std::round(offset.count() / p_.minBinWidth);
    if (!std::isfinite(units) || units < 0 || units >= std::ldexp(1.0, static_cast<int>(p_.stampBits)))
        return make_error_code(tdcError::invalidArgument);
    const auto u = static_cast<std::uint64_t>(units);
    if (const auto ec = state_->link->write(baseAddress() + regs::offsetLow,
                                            {static_cast<std::uint32_t>(u), static_cast<std::uint32_t>(u >> 32)}))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->offset = u;
    return {};
}

TDCOldHistogrammerModule::duration TDCOldHistogrammerModule::getTimeOffset(bool fromBoard)
{
    std::vector<std::uint32_t> w;
    if (fromBoard && !state_->link->read(baseAddress() + regs::offsetLow, 2, w)) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->offset = w[0] | (std::uint64_t(w[1]) << 32);
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    return duration(static_cast<double>(state_->offset) * p_.minBinWidth);
}

std::error_code TDCOldHistogrammerModule::setChannel(std::uint32_t reg, std::uint16_t channel,
                                                     TDCChannel::edgeTrigger_type edge, bool resetBins,
                                                     ChannelAndEdge &cache)
{
    if (channel >= p_.numChannels || (edge != TDCChannel::RISING && edge != TDCChannel::FALLING &&
                                      edge != TDCChannel::BOTH))
        return make_error_code(tdcError::invalidArgument);
    const std::uint32_t word = channel | (static_cast<std::uint32_t>(edge) << regs::edgeShift);
    if (const auto ec = state_->link->write(baseAddress() + reg, {word}))
        return ec;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        cache = {channel, edge};
    }
    return resetBins ? resetBinsCount() : std::error_code{};
}

std::error_code TDCOldHistogrammerModule::setRefCH(std::uint16_t channel, TDCChannel::edgeTrigger_type edge,
                                                   bool resetBins)
{
    return setChannel(regs::reference, channel, edge, resetBins, state_->reference);
}

std::error_code TDCOldHistogrammerModule::setMeasCH(std::uint16_t channel, TDCChannel::edgeTrigger_type edge,
                                                    bool resetBins)
{
    return setChannel(regs::measurement, channel, edge, resetBins, state_->measurement);
}

TDCOldHistogrammerModule::ChannelAndEdge TDCOldHistogrammerModule::getRefCH() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->reference;
}

TDCOldHistogrammerModule::ChannelAndEdge TDCOldHistogrammerModule::getMeasCH() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->measurement;
}

std::error_code TDCOldHistogrammerModule::startIntegration()
{
    if (const auto ec = writeControl(regs::controlRun, true))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->running = true;
    return {};
}

std::error_code TDCOldHistogrammerModule::pauseIntegration()
{
    if (const auto ec = writeControl(regs::controlRun, false))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->running = false;
    return {};
}

std::error_code TDCOldHistogrammerModule::resetBinsCount()
{
    return state_->link->write(baseAddress() + regs::command, {regs::commandClear});
}

bool TDCOldHistogrammerModule::isStarted(bool fromBoard)
{
    std::vector<std::uint32_t> w;
    if (fromBoard && !state_->link->read(baseAddress() + regs::status, 1, w)) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->running = (w[0] & regs::statusRunning) != 0;
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->running;
}

std::error_code TDCOldHistogrammerModule::setAutoPush(bool enabled)
{
    if (const auto ec = writeControl(regs::controlAutoPush, enabled))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->autoPush = enabled;
    return {};
}

std::error_code TDCOldHistogrammerModule::forcePush()
{
    return state_->link->write(baseAddress() + regs::command, {regs::commandPush});
}

std::error_code TDCOldHistogrammerModule::setTimeTrig(duration window)
{
    const double us = std::round(window.count() * 1e6);
    if (!std::isfinite(us) || us < 1 || us >= 0x1p63)
        return make_error_code(tdcError::invalidArgument);
    const auto u = static_cast<std::uint64_t>(us);
    if (const auto ec = state_->link->write(baseAddress() + regs::triggerLow,
                                            {static_cast<std::uint32_t>(u), static_cast<std::uint32_t>(u >> 32)}))
        return ec;
    return writeControl(regs::controlTrigger, true);
}

std::error_code TDCOldHistogrammerModule::disableTimeTrig()
{
    return writeControl(regs::controlTrigger, false);
}

std::unique_ptr<TessaronModule> createOldHistogrammer(const ModuleEntry &e, const std::shared_ptr<TDCLink> &link)
{
    const auto head = readModuleRegisters(*link, e, "legacy histogrammer", regs::addrWidth, regs::headerWords);
    const auto channels = readModuleRegisters(*link, e, "legacy histogrammer", regs::channels, 1)[0];
    TDCOldHistogrammerModule::Parameters p;
    p.binAddrWidth = head[0];
    p.binDataWidth = head[1];
    p.overflowBits = head[2];
    p.stampBits = head[3];
    p.minBinWidth = head[4] * 1e-15;
    p.numChannels = channels;
    if (p.binAddrWidth == 0 || p.binAddrWidth > 20 || regs::bins + (1u << p.binAddrWidth) > e.size)
        throw std::runtime_error("The legacy histogrammer reports " + std::to_string(p.binAddrWidth) +
                                 " address bits, which its window cannot hold");
    if (p.binDataWidth == 0 || p.binDataWidth > 32 || p.stampBits < p.binAddrWidth || p.stampBits > 63 ||
        head[4] == 0 || channels == 0 || channels > tdcregs::channels::maxChannels)
        throw std::runtime_error("The legacy histogrammer reports parameters that make no sense");
    return std::make_unique<TDCOldHistogrammerModule>(e.base, e.size, e.hw, e.sw, link, p);
}
