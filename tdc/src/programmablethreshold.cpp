#include "tdc/programmablethreshold.h"

#include <algorithm>
#include <stdexcept>

#include "dacregisters.h"
#include "log.h"
#include "modulefactory.h"
#include "registers.h"
#include "tdc/tdcerror.h"
#include "tdclink.h"
#include "tuningpatience.h"

namespace regs = tdcregs::dac;

namespace {
constexpr auto pollPeriod = std::chrono::milliseconds(20);

std::future<ProgrammableThreshold::Result> ready(std::uint16_t channel, std::error_code ec, double volts)
{
    std::promise<ProgrammableThreshold::Result> p;
    p.set_value({channel, ec, volts});
    return p.get_future();
}
} // namespace

ProgrammableThreshold::ProgrammableThreshold(std::uint32_t base, std::uint32_t size, TessaronVersion hw,
                                             TessaronVersion sw, std::shared_ptr<TDCLink> link,
                                             const Parameters &p)
    : DACModule(base, size, hw, sw, std::move(link), p)
{
}

ProgrammableThreshold::~ProgrammableThreshold()
{
    bool wasRunning = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        wasRunning = running_;
    }
    wake_.notify_all();
    if (watcher_.joinable())
        watcher_.join();
    if (wasRunning && link()->isOpen())
        link()->post(baseAddress() + regs::tuneControl, {regs::tuneAbort});
}

bool ProgrammableThreshold::autoThresholdRunning() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

std::pair<std::error_code, std::pair<unsigned, std::chrono::microseconds>>
ProgrammableThreshold::setSweep(unsigned steps, std::chrono::microseconds gate)
{
    if (gate.count() <= 0 || gate.count() > 0xFFFFFFFF)
        return {make_error_code(tdcError::invalidArgument), {}};
    std::vector<std::uint32_t> w;
    auto ec = link()->write(baseAddress() + regs::sweepSteps, {steps, static_cast<std::uint32_t>(gate.count())});
    if (!ec)
        ec = link()->read(baseAddress() + regs::sweepSteps, 2, w);
    if (ec)
        return {ec, {}};
    return {std::error_code{}, {w[0], std::chrono::microseconds(w[1])}};
}

std::pair<std::error_code, ProgrammableThreshold::Plateau> ProgrammableThreshold::getPlateau(std::uint16_t channel)
{
    if (channel >= numChannels())
        return {make_error_code(tdcError::invalidArgument), {}};
    std::vector<std::uint32_t> w;
    if (const auto ec = link()->read(baseAddress() + regs::channel(channel, regs::chTuneState), 4, w))
        return {ec, {}};
    switch (w[0]) {
    case regs::done: return {std::error_code{}, {voltsOf(w[1]), voltsOf(w[2]), static_cast<double>(w[3])}};
    case regs::fixed: return {make_error_code(tdcError::fixedThreshold), {}};
    default: return {make_error_code(tdcError::noPlateau), {}};
    }
}

std::vector<std::future<ProgrammableThreshold::Result>>
ProgrammableThreshold::autoThreshold(const std::vector<std::uint16_t> &channels)
{
    std::vector<std::future<Result>> futures;
    std::unique_lock<std::mutex> lock(mutex_);
    if (running_ || stop_) {
        for (const auto c : channels)
            futures.push_back(ready(c, make_error_code(tdcError::busy), 0.0));
        return futures;
    }
    if (watcher_.joinable()) {
        // The previous run's watcher has finished its work; it only has to be collected.
        lock.unlock();
        watcher_.join();
        lock.lock();
    }
    pending_.clear();
    std::uint64_t mask = 0;
    for (const auto c : channels) {
        if (c >= numChannels()) {
            futures.push_back(ready(c, make_error_code(tdcError::invalidArgument), 0.0));
        } else if (isFixed(c)) {
            futures.push_back(ready(c, make_error_code(tdcError::fixedThreshold), getRange(c).min));
        } else {
            pending_.push_back({c, {}});
            futures.push_back(pending_.back().promise.get_future());
            mask |= std::uint64_t(1) << c;
        }
    }
    if (pending_.empty())
        return futures;

    std::vector<std::uint32_t> sweep;
    auto ec = link()->read(baseAddress() + regs::sweepSteps, 2, sweep);
    if (!ec)
        ec = link()->write(baseAddress() + regs::maskLow,
                           {static_cast<std::uint32_t>(mask), static_cast<std::uint32_t>(mask >> 32)});
    if (!ec)
        ec = link()->write(baseAddress() + regs::tuneControl, {regs::tuneStart});
    if (ec) {
        TDC_LOG(tdclog::error, "Threshold tuning not started: " << ec.message());
        for (auto &p : pending_)
            p.promise.set_value({p.channel, ec, 0.0});
        pending_.clear();
        return futures;
    }
    const auto patience =
        tdctuning::patienceFor(sweep[0], std::chrono::microseconds(sweep[1]), link()->requestTimeout());
    running_ = true;
    abort_ = false;
    watcher_ = std::thread([this, patience] { watch(patience); });
    return futures;
}

bool ProgrammableThreshold::abortAutoThreshold()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_)
            return false;
        abort_ = true;
    }
    // The board puts the unfinished channels back; the watcher reports them cancelled
    // whether or not the board still answers.
    if (const auto ec = link()->write(baseAddress() + regs::tuneControl, {regs::tuneAbort}))
        TDC_LOG(tdclog::warning, "The board did not take the tuning abort: " << ec.message());
    wake_.notify_all();
    return true;
}

void ProgrammableThreshold::finishAll(std::error_code ec)
{
    for (auto &p : pending_)
        p.promise.set_value({p.channel, ec, knownVoltage(p.channel)});
    pending_.clear();
    running_ = false;
}

void ProgrammableThreshold::watch(const tdctuning::Patience &patience)
{
    std::uint16_t first = 0xFFFF, last = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto &p : pending_) {
            first = std::min(first, p.channel);
            last = std::max(last, p.channel);
        }
    }
    const std::uint32_t words = (last - first + 1u) * regs::channelWords;
    tdctuning::Watch watch(patience, tdctuning::Clock::now());
    std::vector<std::uint32_t> previous;
    for (;;) {
        bool aborting = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, pollPeriod, [this] { return stop_ || abort_; });
            if (stop_) {
                finishAll(std::make_error_code(std::errc::operation_canceled));
                return;
            }
            aborting = abort_;
        }
        std::vector<std::uint32_t> w;
        const auto ec = link()->read(baseAddress() + regs::channel(first, 0), words, w);
        const auto now = tdctuning::Clock::now();
        std::lock_guard<std::mutex> lock(mutex_);
        if (ec) {
            if (aborting) {
                finishAll(std::make_error_code(std::errc::operation_canceled));
                return;
            }
            if (ec == make_error_code(tdcError::disconnected) || ec == make_error_code(tdcError::notOpen)) {
                TDC_LOG(tdclog::error, "Threshold tuning lost the board: " << ec.message());
                finishAll(ec);
                return;
            }
            // A poll that times out is asked again: a busy board or a loaded host is no reason
            // to give up a run the board is still doing.
            if (watch.verdict(now) == tdctuning::Watch::Verdict::Silent) {
                TDC_LOG(tdclog::error, "Threshold tuning given up: the board has not answered for "
                                           << watch.silentFor(now).count() << " ms (" << ec.message() << ")");
                link()->post(baseAddress() + regs::tuneControl, {regs::tuneAbort});
                finishAll(make_error_code(tdcError::timeout));
                return;
            }
            continue;
        }
        // The sweeping channels' codes step through the range: any change is the board at work.
        bool progressed = previous.size() != w.size();
        for (const auto &p : pending_) {
            const std::uint32_t at = (p.channel - first) * regs::channelWords;
            for (const auto word : {regs::chCode, regs::chTuneState})
                progressed = progressed || previous[at + word] != w[at + word];
        }
        watch.answered(now, progressed);
        previous = w;
        for (auto it = pending_.begin(); it != pending_.end();) {
            const std::uint32_t at = (it->channel - first) * regs::channelWords;
            const std::uint32_t code = w[at + regs::chCode];
            std::error_code result;
            switch (w[at + regs::chTuneState]) {
            case regs::done: break;
            case regs::noPlateau: result = make_error_code(tdcError::noPlateau); break;
            case regs::aborted: result = std::make_error_code(std::errc::operation_canceled); break;
            case regs::fixed: result = make_error_code(tdcError::fixedThreshold); break;
            default: ++it; continue;
            }
            noteCode(it->channel, code);
            it->promise.set_value({it->channel, result, voltsOf(code)});
            it = pending_.erase(it);
        }
        if (pending_.empty()) {
            running_ = false;
            return;
        }
        if (aborting) {
            finishAll(std::make_error_code(std::errc::operation_canceled));
            return;
        }
        if (watch.verdict(now) != tdctuning::Watch::Verdict::Wait) {
            TDC_LOG(tdclog::error, "Threshold tuning did not finish in time: the board answers, but its "
                                   "channels have stopped moving");
            link()->post(baseAddress() + regs::tuneControl, {regs::tuneAbort});
            finishAll(make_error_code(tdcError::timeout));
            return;
        }
    }
}

std::unique_ptr<TessaronModule> createProgrammableThreshold(const ModuleEntry &e, const std::shared_ptr<TDCLink> &link)
{
    const auto head = readModuleRegisters(*link, e, "threshold DAC module", regs::channels, regs::headerWords);
    DACModule::Parameters p;
    p.numChannels = head[0];
    p.resolutionBits = head[1];
    p.minVolts = static_cast<std::int32_t>(head[2]) * 1e-6;
    p.maxVolts = static_cast<std::int32_t>(head[3]) * 1e-6;
    if (p.numChannels == 0 || p.numChannels > tdcregs::channels::maxChannels)
        throw std::runtime_error("The threshold DAC module reports " + std::to_string(p.numChannels) + " channels");
    if (p.resolutionBits == 0 || p.resolutionBits > 24 || !(p.maxVolts > p.minVolts))
        throw std::runtime_error("The threshold DAC module reports a resolution or range that makes no sense");
    const auto words = readModuleRegisters(*link, e, "threshold DAC module", regs::channelBase,
                                           p.numChannels * regs::channelWords);
    for (std::uint32_t c = 0; c < p.numChannels; ++c) {
        p.codes.push_back(words[c * regs::channelWords + regs::chCode]);
        p.kinds.push_back(static_cast<int>(words[c * regs::channelWords + regs::chKind]));
    }
    return std::make_unique<ProgrammableThreshold>(e.base, e.size, e.hw, e.sw, link, p);
}
