#include "tdc/tdchistogrammermodule.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "log.h"
#include "modulefactory.h"
#include "registers.h"
#include "tdc/tdcerror.h"
#include "tdclink.h"

namespace regs = tdcregs::histogrammer;

namespace {

std::int64_t join(const std::vector<std::uint32_t> &w, std::size_t at)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(w.at(at + 1)) << 32) | w.at(at));
}

double unitOf(const std::vector<std::uint32_t> &r)
{
    return r.at(regs::minBinFs) * 1e-15;
}

std::uint32_t channelWord(TDCHistogrammerModule::ChannelAndEdge ch)
{
    return ch.channel | (static_cast<std::uint32_t>(ch.edge) << 16);
}

TDCHistogrammerModule::ChannelAndEdge channelOf(std::uint32_t word)
{
    return {static_cast<std::uint16_t>(word & 0xFFFF), static_cast<std::uint8_t>((word >> 16) & 0xFF)};
}

} // namespace

// Shared between the module object, its link range handler (which holds it weakly; an
// in-flight delivery keeps it alive until it returns) and the groups it belongs to.
struct TDCHistogrammerModule::State {
    enum class Run { stopped, running, paused };

    std::shared_ptr<TDCLink> link;
    std::uint32_t base = 0;
    double unit = 1e-12;

    std::mutex mutex; // everything below
    std::condition_variable idle;
    Callback callback;
    bool alive = true;
    int delivering = 0;
    std::thread::id deliveringThread;
    Run run = Run::stopped;
    std::int64_t left = 0, width = 1, right = 1;
    std::uint32_t binsInUse = 1;
    std::uint32_t control = 0;
    std::uint32_t ref = 0, meas = 0;
    std::uint32_t periodUs = 50000;
    std::uint32_t repetitions = 0;

    void deliver(const std::vector<std::uint32_t> &data)
    {
        if (data.size() < 3 || data.size() != 3 + static_cast<std::size_t>(data[2])) {
            TDC_LOG(tdclog::warning, "Histogrammer at 0x" << std::hex << base << std::dec << " sent a block of "
                                                          << data.size() << " words that does not add up; dropped");
            return;
        }
        const Status status{data[0], (data[1] & regs::flagRunning) != 0};
        Callback cb;
        {
            std::lock_guard<std::mutex> lock(mutex);
            // A block of bounds no longer in force, or one that left the board before a
            // disable, would show counts the caller did not ask for.
            if (!alive || run == Run::stopped || data[2] != binsInUse)
                return;
            // A run that ends stops here; a paused one stays paused (its block says "not
            // running" too) so that it can be resumed.
            if (!status.running && run == Run::running)
                run = Run::stopped;
            if (!callback)
                return;
            cb = callback;
            ++delivering;
            deliveringThread = std::this_thread::get_id();
        }
        const std::vector<std::uint64_t> counts(data.begin() + 3, data.end());
        try {
            cb(counts, status);
        } catch (const std::exception &e) {
            TDC_LOG(tdclog::error, "Histogram callback threw: " << e.what());
        } catch (...) {
            TDC_LOG(tdclog::error, "Histogram callback threw an unknown exception");
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            --delivering;
        }
        idle.notify_all();
    }

    // Applies the board's read-back of offsets 0x08 … 0x0F.
    void takeBounds(const std::vector<std::uint32_t> &w)
    {
        std::lock_guard<std::mutex> lock(mutex);
        left = join(w, 0);
        width = join(w, 2);
        right = join(w, 4);
        binsInUse = w.at(7);
    }

    std::error_code command(std::uint32_t c) { return link->write(base + regs::command, {c}); }
};

TDCHistogrammerModule::TDCHistogrammerModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw,
                                             TessaronVersion sw, std::shared_ptr<TDCLink> link,
                                             const std::vector<std::uint32_t> &r)
    : TessaronModule(base, size, hw, sw),
      memoryBins(r.at(regs::memoryBins)),
      minOffset(join(r, regs::limits) * unitOf(r)),
      maxOffset(join(r, regs::limits + 2) * unitOf(r)),
      minFSR(join(r, regs::limits + 4) * unitOf(r)),
      maxFSR(join(r, regs::limits + 6) * unitOf(r)),
      unit(unitOf(r)),
      state_(std::make_shared<State>())
{
    State &s = *state_;
    s.link = std::move(link);
    s.base = base;
    s.unit = unit;
    s.control = r.at(regs::control);
    s.run = (r.at(regs::status) & regs::statusRunning)  ? State::Run::running
            : (r.at(regs::status) & regs::statusPaused) ? State::Run::paused
                                                        : State::Run::stopped;
    s.periodUs = r.at(regs::periodUs);
    s.repetitions = r.at(regs::windows);
    s.ref = r.at(regs::ref);
    s.meas = r.at(regs::meas);
    s.takeBounds(std::vector<std::uint32_t>(r.begin() + regs::bounds, r.begin() + regs::bounds + 8));

    const auto ec = s.link->deliverRangeTo(base, base + size - 1, std::weak_ptr<State>(state_));
    if (ec)
        TDC_LOG(tdclog::error, "Histogrammer at 0x" << std::hex << base << ": cannot receive blocks: " << ec.message());
}

TDCHistogrammerModule::~TDCHistogrammerModule()
{
    state_->link->deleteRange(baseAddress());
    bool wasRunning = false;
    {
        std::unique_lock<std::mutex> lock(state_->mutex);
        state_->alive = false;
        wasRunning = state_->run != State::Run::stopped;
        // A callback that destroys its own module cannot wait for itself.
        if (!(state_->delivering > 0 && state_->deliveringThread == std::this_thread::get_id()))
            state_->idle.wait(lock, [this] { return state_->delivering == 0; });
    }
    // Leave a quiet board behind; a board that is gone costs nothing here.
    if (wasRunning && state_->link->isOpen())
        state_->link->post(baseAddress() + regs::command, {regs::commandDisable});
}

TDCHistogrammerModule::Callback TDCHistogrammerModule::setCallback(Callback cb)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::swap(cb, state_->callback);
    return cb;
}

bool TDCHistogrammerModule::isRunning() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->run == State::Run::running;
}

TDCHistogrammerModule::BoundsRaw TDCHistogrammerModule::getBoundsRaw() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return {state_->left, state_->width, state_->right};
}

TDCHistogrammerModule::Bounds TDCHistogrammerModule::getBounds() const
{
    const BoundsRaw raw = getBoundsRaw();
    return {*raw.left * unit, *raw.binWidth * unit, *raw.right * unit};
}

std::pair<std::error_code, TDCHistogrammerModule::BoundsRaw> TDCHistogrammerModule::setBoundsRaw(const BoundsRaw &b)
{
    BoundsRaw next = getBoundsRaw();
    if (b.left)
        next.left = b.left;
    if (b.binWidth)
        next.binWidth = b.binWidth;
    if (b.right)
        next.right = b.right;
    std::vector<std::uint32_t> words;
    for (const std::int64_t v : {*next.left, *next.binWidth, *next.right}) {
        words.push_back(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
        words.push_back(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32));
    }
    auto ec = state_->link->write(baseAddress() + regs::bounds, std::move(words));
    std::vector<std::uint32_t> applied;
    if (!ec)
        ec = state_->link->read(baseAddress() + regs::bounds, 8, applied);
    if (!ec)
        state_->takeBounds(applied);
    else
        TDC_LOG(tdclog::error, "Histogrammer at 0x" << std::hex << baseAddress() << ": cannot set the bounds: "
                                                    << ec.message());
    return {ec, getBoundsRaw()};
}

std::pair<std::error_code, TDCHistogrammerModule::Bounds> TDCHistogrammerModule::setBounds(const Bounds &b)
{
    BoundsRaw raw;
    const auto units = [this](const std::optional<double> &s, std::optional<std::int64_t> &out) {
        if (!s)
            return true;
        const double u = *s / unit;
        if (!std::isfinite(u) || std::fabs(u) > 9e18)
            return false;
        out = std::llround(u);
        return true;
    };
    if (!units(b.left, raw.left) || !units(b.binWidth, raw.binWidth) || !units(b.right, raw.right))
        return {make_error_code(tdcError::invalidArgument), getBounds()};
    const auto ec = setBoundsRaw(raw).first;
    return {ec, getBounds()};
}

TDCHistogrammerModule::ChannelAndEdge TDCHistogrammerModule::getRefCh() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return channelOf(state_->ref);
}

TDCHistogrammerModule::ChannelAndEdge TDCHistogrammerModule::getMeasCh() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return channelOf(state_->meas);
}

std::error_code TDCHistogrammerModule::setRefCh(ChannelAndEdge ch)
{
    if (ch.edge < 1 || ch.edge > 3)
        return make_error_code(tdcError::invalidArgument);
    if (const auto ec = state_->link->write(baseAddress() + regs::ref, {channelWord(ch)}))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->ref = channelWord(ch);
    return {};
}

std::error_code TDCHistogrammerModule::setMeasCh(ChannelAndEdge ch)
{
    if (ch.edge < 1 || ch.edge > 3)
        return make_error_code(tdcError::invalidArgument);
    if (const auto ec = state_->link->write(baseAddress() + regs::meas, {channelWord(ch)}))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->meas = channelWord(ch);
    return {};
}

bool TDCHistogrammerModule::getAccumulate() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return (state_->control & regs::controlAccumulate) != 0;
}

bool TDCHistogrammerModule::getMultiHit() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return (state_->control & regs::controlMultiHit) != 0;
}

namespace {
std::uint32_t withBit(std::uint32_t word, std::uint32_t bit, bool on)
{
    return on ? (word | bit) : (word & ~bit);
}
} // namespace

std::error_code TDCHistogrammerModule::setAccumulate(bool on)
{
    const std::uint32_t control = withBit(getMultiHit() ? regs::controlMultiHit : 0, regs::controlAccumulate, on);
    if (const auto ec = state_->link->write(baseAddress() + regs::control, {control}))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->control = control;
    return {};
}

std::error_code TDCHistogrammerModule::setMultiHit(bool on)
{
    const std::uint32_t control = withBit(getAccumulate() ? regs::controlAccumulate : 0, regs::controlMultiHit, on);
    if (const auto ec = state_->link->write(baseAddress() + regs::control, {control}))
        return ec;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->control = control;
    return {};
}

std::error_code TDCHistogrammerModule::disable(bool off)
{
    if (!off)
        return {};
    {
        // From here on no block is delivered, even one already on its way.
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->run = State::Run::stopped;
    }
    return state_->command(regs::commandDisable);
}

std::error_code TDCHistogrammerModule::pause(bool on)
{
    if (!on) {
        std::uint32_t periodUs, reps;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            if (state_->run != State::Run::paused)
                return {};
            periodUs = state_->periodUs;
            reps = state_->repetitions;
        }
        return enable(std::chrono::duration<double>(periodUs * 1e-6), reps).first;
    }
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->run != State::Run::running)
            return {};
        state_->run = State::Run::paused;
    }
    return state_->command(regs::commandPause);
}

namespace {
// The period register's value for a duration, or 0 when the duration makes no sense.
std::uint32_t periodWord(std::chrono::duration<double> period)
{
    const double us = period.count() * 1e6;
    if (!std::isfinite(us) || us <= 0)
        return 0;
    return static_cast<std::uint32_t>(std::clamp<double>(std::llround(us), regs::minPeriodUs, regs::maxPeriodUs));
}
} // namespace

std::pair<std::error_code, std::chrono::duration<double>>
TDCHistogrammerModule::enable(std::chrono::duration<double> period, std::uint32_t repetitions)
{
    State &s = *state_;
    const std::uint32_t us = periodWord(period);
    if (us == 0)
        return {make_error_code(tdcError::invalidArgument), std::chrono::duration<double>(s.periodUs * 1e-6)};
    auto ec = s.link->write(baseAddress() + regs::periodUs, {us, repetitions});
    std::vector<std::uint32_t> applied;
    if (!ec)
        ec = s.link->read(baseAddress() + regs::periodUs, 1, applied);
    if (ec)
        return {ec, std::chrono::duration<double>(s.periodUs * 1e-6)};
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.periodUs = applied[0];
        s.repetitions = repetitions;
        s.run = State::Run::running;
    }
    if ((ec = s.command(regs::commandEnable))) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.run = State::Run::stopped;
    }
    return {ec, std::chrono::duration<double>(applied[0] * 1e-6)};
}

// --- Group ---------------------------------------------------------------------------------

struct TDCHistogrammerModule::Group::Members {
    std::mutex mutex;
    std::uint32_t id = 0;
    std::vector<std::weak_ptr<State>> members;

    // The members still alive, in the order they were added.
    std::vector<std::shared_ptr<State>> live()
    {
        std::vector<std::shared_ptr<State>> out;
        for (const auto &w : members)
            if (auto s = w.lock())
                out.push_back(std::move(s));
        return out;
    }
};

namespace {
// Group numbers of the board: 1 … 255, handed out in turn.
std::uint32_t nextGroupId()
{
    static std::atomic<std::uint32_t> counter{0};
    return counter.fetch_add(1) % 255 + 1;
}
} // namespace

TDCHistogrammerModule::Group::Group() : d_(std::make_unique<Members>())
{
    d_->id = nextGroupId();
}

TDCHistogrammerModule::Group::~Group()
{
    for (const auto &s : d_->live())
        if (s->link->isOpen())
            s->link->post(s->base + regs::group, {0});
}

std::error_code TDCHistogrammerModule::Group::addHistogram(TDCHistogrammerModule &module)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    const auto live = d_->live();
    for (const auto &s : live) {
        if (s == module.state_)
            return {};
        if (s->link != module.state_->link)
            return make_error_code(tdcError::invalidArgument);
    }
    if (const auto ec = module.state_->link->write(module.baseAddress() + regs::group, {d_->id}))
        return ec;
    d_->members.push_back(module.state_);
    return {};
}

std::error_code TDCHistogrammerModule::Group::removeHistogram(TDCHistogrammerModule &module)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    auto &m = d_->members;
    const auto it = std::find_if(m.begin(), m.end(), [&](const std::weak_ptr<State> &w) {
        return w.lock() == module.state_;
    });
    if (it == m.end())
        return {};
    m.erase(it);
    return module.state_->link->write(module.baseAddress() + regs::group, {0});
}

std::pair<std::error_code, std::chrono::duration<double>>
TDCHistogrammerModule::Group::enable(std::chrono::duration<double> period, std::uint32_t repetitions)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    const auto live = d_->live();
    const std::uint32_t us = periodWord(period);
    if (us == 0)
        return {make_error_code(tdcError::invalidArgument), period};
    if (live.empty())
        return {std::error_code{}, std::chrono::duration<double>(us * 1e-6)};
    for (const auto &s : live) {
        if (const auto ec = s->link->write(s->base + regs::periodUs, {us, repetitions}))
            return {ec, period};
        std::lock_guard<std::mutex> stateLock(s->mutex);
        s->periodUs = us;
        s->repetitions = repetitions;
        s->run = State::Run::running;
    }
    std::vector<std::uint32_t> applied;
    auto ec = live.front()->command(regs::commandGroupEnable);
    if (!ec)
        ec = live.front()->link->read(live.front()->base + regs::periodUs, 1, applied);
    if (ec) {
        for (const auto &s : live) {
            std::lock_guard<std::mutex> stateLock(s->mutex);
            s->run = State::Run::stopped;
        }
        return {ec, period};
    }
    return {std::error_code{}, std::chrono::duration<double>(applied[0] * 1e-6)};
}

std::error_code TDCHistogrammerModule::Group::disable(bool off)
{
    if (!off)
        return {};
    std::lock_guard<std::mutex> lock(d_->mutex);
    const auto live = d_->live();
    if (live.empty())
        return {};
    for (const auto &s : live) {
        std::lock_guard<std::mutex> stateLock(s->mutex);
        s->run = State::Run::stopped;
    }
    return live.front()->command(regs::commandGroupDisable);
}

std::unique_ptr<TessaronModule> createHistogrammer(const ModuleEntry &e, const std::shared_ptr<TDCLink> &link)
{
    const auto r = readModuleRegisters(*link, e, "histogrammer", 0, regs::registerWords);
    const std::uint32_t bins = r[regs::memoryBins];
    if (bins == 0 || (bins & (bins - 1)) != 0)
        throw std::runtime_error("The histogrammer reports " + std::to_string(bins) +
                                 " bins, not a power of two");
    if (regs::bins + static_cast<std::uint64_t>(bins) > e.size)
        throw std::runtime_error("The histogrammer's window is too small for " + std::to_string(bins) + " bins");
    if (r[regs::minBinFs] == 0)
        throw std::runtime_error("The histogrammer reports a bin width of 0");
    return std::make_unique<TDCHistogrammerModule>(e.base, e.size, e.hw, e.sw, link, r);
}
