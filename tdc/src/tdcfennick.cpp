#include "tdc/tdcfennick.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <stdexcept>
#include <thread>

#include "log.h"
#include "modulefactory.h"
#include "registers.h"
#include "tdc/tdcerror.h"
#include "tdclink.h"

namespace regs = tdcregs::counter;

// Shared between the module object and the link's range handler, which holds it weakly; an
// in-flight delivery keeps it (and the mutex it lends the callback) alive until it returns.
struct TDCFennick::State {
    std::shared_ptr<TDCLink> link;
    std::uint32_t base = 0;
    std::uint32_t numChannels = 0;

    std::mutex dataMutex; // the library's mutex, handed to the sample callback

    std::mutex mutex; // everything below
    std::condition_variable idle;
    Callback callback;
    bool autoPush = false;
    double integrationTime = 0.2;
    bool alive = true;
    int delivering = 0;
    std::thread::id deliveringThread;

    void deliver(const std::vector<std::uint32_t> &data)
    {
        if (data.size() != 1 + static_cast<std::size_t>(numChannels)) {
            TDC_LOG(tdclog::warning, "Counter at 0x" << std::hex << base << std::dec << " sent a sample of "
                                                     << data.size() << " words instead of "
                                                     << 1 + numChannels << "; dropped");
            return;
        }
        Callback cb;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!alive || !callback)
                return;
            cb = callback;
            ++delivering;
            deliveringThread = std::this_thread::get_id();
        }
        const std::chrono::duration<double> dt(data[0] / 1e6);
        const std::vector<std::uint32_t> counts(data.begin() + 1, data.end());
        try {
            cb(dataMutex, dt, counts);
        } catch (const std::exception &e) {
            TDC_LOG(tdclog::error, "Counter sample callback threw: " << e.what());
        } catch (...) {
            TDC_LOG(tdclog::error, "Counter sample callback threw an unknown exception");
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            --delivering;
        }
        idle.notify_all();
    }
};

TDCFennick::TDCFennick(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
                       std::shared_ptr<TDCLink> link, std::uint32_t numChannels, int inputLogic)
    : TessaronModule(base, size, hw, sw),
      state_(std::make_shared<State>()),
      inputLogic_(inputLogic),
      numChannels_(numChannels)
{
    state_->link = std::move(link);
    state_->base = base;
    state_->numChannels = numChannels;

    std::vector<std::uint32_t> words;
    if (!state_->link->read(base + regs::control, 2, words)) {
        state_->autoPush = (words[0] & regs::controlAutoPush) != 0;
        state_->integrationTime = words[1] / 1e6;
    }

    const auto ec = state_->link->deliverRangeTo(base, base + size - 1, std::weak_ptr<State>(state_));
    if (ec)
        TDC_LOG(tdclog::error, "Counter at 0x" << std::hex << base << ": cannot receive samples: " << ec.message());
}

TDCFennick::~TDCFennick()
{
    state_->link->deleteRange(baseAddress());
    bool wasPushing = false;
    {
        std::unique_lock<std::mutex> lock(state_->mutex);
        state_->alive = false;
        wasPushing = state_->autoPush;
        // A callback that destroys its own module cannot wait for itself.
        if (!(state_->delivering > 0 && state_->deliveringThread == std::this_thread::get_id()))
            state_->idle.wait(lock, [this] { return state_->delivering == 0; });
    }
    // Leave a quiet board behind; a board that is gone costs nothing here.
    if (wasPushing && state_->link->isOpen())
        state_->link->post(baseAddress() + regs::control, {0});
}

bool TDCFennick::autoPushEnabled() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->autoPush;
}

std::error_code TDCFennick::setAutoPush(bool enabled)
{
    const auto ec = state_->link->write(baseAddress() + regs::control, {enabled ? regs::controlAutoPush : 0u});
    if (ec) {
        TDC_LOG(tdclog::error, "Counter at 0x" << std::hex << baseAddress() << ": cannot switch auto push: "
                                               << ec.message());
        return ec;
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->autoPush = enabled;
    return {};
}

TDCFennick::Callback TDCFennick::setCallback(Callback cb)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::swap(cb, state_->callback);
    return cb;
}

std::pair<std::error_code, double> TDCFennick::setIntegrationTime(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0 || seconds > regs::maxIntegrationUs * 1e-6)
        return {make_error_code(tdcError::invalidArgument), integrationTime()};
    const auto us = static_cast<std::uint32_t>(
        std::clamp<long long>(std::llround(seconds * 1e6), regs::minIntegrationUs, regs::maxIntegrationUs));
    if (const auto ec = state_->link->write(baseAddress() + regs::integrationUs, {us}))
        return {ec, integrationTime()};
    std::vector<std::uint32_t> applied;
    if (const auto ec = state_->link->read(baseAddress() + regs::integrationUs, 1, applied))
        return {ec, integrationTime()};
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->integrationTime = applied[0] / 1e6;
    return {std::error_code{}, state_->integrationTime};
}

double TDCFennick::integrationTime() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->integrationTime;
}

std::unique_ptr<TessaronModule> createFennick(const ModuleEntry &e, const std::shared_ptr<TDCLink> &link)
{
    const auto words = readModuleRegisters(*link, e, "counter module", regs::channels, 2);
    const std::uint32_t channels = words[0];
    if (channels == 0 || channels > tdcregs::channels::maxChannels)
        throw std::runtime_error("The counter module reports " + std::to_string(channels) + " channels");
    if (regs::sample + 1 + channels > e.size)
        throw std::runtime_error("The counter module's window is too small for " + std::to_string(channels) +
                                 " channels");
    return std::make_unique<TDCFennick>(e.base, e.size, e.hw, e.sw, link, channels,
                                        static_cast<int>(words[1]));
}
