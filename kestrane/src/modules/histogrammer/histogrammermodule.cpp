#include "histogrammermodule.h"

#include <algorithm>
#include <cmath>

namespace kestrane {

namespace {

std::uint32_t low(std::int64_t v) { return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)); }
std::uint32_t high(std::int64_t v) { return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32); }
std::int64_t join(std::uint32_t lo, std::uint32_t hi)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(hi) << 32) | lo);
}

EventEngine::Selection selectionOf(std::uint32_t word, std::uint32_t channels)
{
    EventEngine::Selection s;
    s.processed = true;
    const std::uint32_t channel = word & 0xFFFF;
    const std::uint32_t edge = (word >> 16) & 0xFF;
    if (channel < channels && channel < 64) {
        if (edge & static_cast<std::uint32_t>(Edge::rising))
            s.rising = std::uint64_t(1) << channel;
        if (edge & static_cast<std::uint32_t>(Edge::falling))
            s.falling = std::uint64_t(1) << channel;
    }
    return s;
}

constexpr std::size_t batchSize = 4096;

} // namespace

HistogrammerModule::HistogrammerModule(std::uint32_t base, EventEngine &engine, std::uint32_t memoryBins,
                                       double minBinWidth, HistogrammerBank &bank)
    : base_(base),
      engine_(engine),
      memoryBins_(memoryBins),
      minBinFs_(static_cast<std::uint32_t>(std::llround(minBinWidth * 1e15))),
      bank_(bank),
      bins_(memoryBins, 0)
{
    right_ = left_ + width_ * memoryBins_;
    const std::int64_t applied[3] = {left_, width_, right_};
    for (int i = 0; i < 3; ++i) {
        staged_[2 * i] = low(applied[i]);
        staged_[2 * i + 1] = high(applied[i]);
    }
    bank_.members.push_back(this);
}

HistogrammerModule::~HistogrammerModule()
{
    auto &m = bank_.members;
    m.erase(std::remove(m.begin(), m.end(), this), m.end());
}

std::uint32_t HistogrammerModule::binsInUse() const
{
    return static_cast<std::uint32_t>((right_ - left_ + width_ - 1) / width_);
}

std::int64_t HistogrammerModule::lateNs() const
{
    return right_ > 0 ? engine_.toNs(static_cast<std::uint64_t>(right_)) : 0;
}

Status HistogrammerModule::read(std::uint32_t offset, std::uint32_t &value)
{
    value = 0;
    if (offset >= size())
        return Status::decodeError;
    if (offset >= regBins) {
        const std::uint32_t i = offset - regBins;
        value = i < block_.size() ? block_[i] : 0;
        return Status::ok;
    }
    switch (offset) {
    case regControl: value = control_; break;
    case regStatus:
        value = (state_ == State::running ? statusRunning : 0) | (state_ == State::paused ? statusPaused : 0);
        break;
    case regPeriodUs: value = periodUs_; break;
    case regWindows: value = windows_; break;
    case regWindowIndex: value = windowIndex_; break;
    case regRef: value = ref_; break;
    case regMeas: value = meas_; break;
    case regLeft: value = low(left_); break;
    case regLeft + 1: value = high(left_); break;
    case regWidth: value = low(width_); break;
    case regWidth + 1: value = high(width_); break;
    case regRight: value = low(right_); break;
    case regRight + 1: value = high(right_); break;
    case regMemoryBins: value = memoryBins_; break;
    case regBinsInUse: value = binsInUse(); break;
    case regGroup: value = group_; break;
    case regMinBinFs: value = minBinFs_; break;
    case regMinOffset: value = low(minOffset); break;
    case regMinOffset + 1: value = high(minOffset); break;
    case regMaxOffset: value = low(maxOffset); break;
    case regMaxOffset + 1: value = high(maxOffset); break;
    case regMinFsr: value = low(minFsr); break;
    case regMinFsr + 1: value = high(minFsr); break;
    case regMaxFsr: value = low(maxFsr); break;
    case regMaxFsr + 1: value = high(maxFsr); break;
    case regBlock: value = blockIndex_; break;
    case regBlock + 1: value = blockFlags_; break;
    case regBlock + 2: value = blockBins_; break;
    default: break;
    }
    return Status::ok;
}

Status HistogrammerModule::canWrite(std::uint32_t offset) const
{
    switch (offset) {
    case regControl:
    case regCommand:
    case regPeriodUs:
    case regWindows:
    case regRef:
    case regMeas:
    case regGroup:
        return Status::ok;
    default:
        if (offset >= regLeft && offset <= regRight + 1)
            return Status::ok;
        return offset < size() ? Status::slaveError : Status::decodeError;
    }
}

void HistogrammerModule::write(std::uint32_t offset, std::uint32_t value, std::int64_t now)
{
    if (offset >= regLeft && offset <= regRight + 1) {
        staged_[offset - regLeft] = value;
        if (offset == regRight + 1)
            applyBounds();
        return;
    }
    switch (offset) {
    case regControl: control_ = value & (controlAccumulate | controlMultiHit); break;
    case regPeriodUs: periodUs_ = std::clamp(value, minPeriodUs, maxPeriodUs); break;
    case regWindows: windows_ = value; break;
    case regGroup: group_ = value & 0xFF; break;
    case regRef:
    case regMeas:
        (offset == regRef ? ref_ : meas_) = value & 0xFFFFFF;
        if (refReader_) {
            refReader_->select(selectionOf(ref_, engine_.channels()));
            measReader_->select(selectionOf(meas_, engine_.channels()));
        }
        break;
    case regCommand:
        switch (value) {
        case enableRun: enable(now); break;
        case disableRun: disable(); break;
        case pauseRun:
            if (state_ == State::running) {
                // The block goes out with the next service, which the board runs at once.
                measure(engine_.toUnits(now));
                refReader_.reset();
                measReader_.reset();
                state_ = State::paused;
                pausePending_ = true;
            }
            break;
        case groupEnable:
        case groupDisable:
            for (HistogrammerModule *m : bank_.members)
                if (m == this || (group_ != 0 && m->group() == group_)) {
                    if (value == groupEnable)
                        m->enable(now);
                    else
                        m->disable();
                }
            break;
        default: break;
        }
        break;
    default: break;
    }
}

void HistogrammerModule::applyBounds()
{
    std::int64_t left = join(staged_[0], staged_[1]);
    std::int64_t width = join(staged_[2], staged_[3]);
    std::int64_t right = join(staged_[4], staged_[5]);
    left = std::clamp(left, minOffset, maxOffset - minFsr);
    right = std::clamp(right, left + minFsr, std::min(maxOffset, left + maxFsr));
    const std::int64_t range = right - left;
    const std::int64_t needed = (range + memoryBins_ - 1) / memoryBins_;
    width = std::clamp(std::max<std::int64_t>(width, needed), std::int64_t(1), range);
    left_ = left;
    width_ = width;
    right_ = right;
    const std::int64_t applied[3] = {left_, width_, right_};
    for (int i = 0; i < 3; ++i) {
        staged_[2 * i] = low(applied[i]);
        staged_[2 * i + 1] = high(applied[i]);
    }
    // Bins of the old bounds mean nothing under the new ones.
    std::fill(bins_.begin(), bins_.end(), 0);
    starts_.clear();
    stops_.clear();
}

void HistogrammerModule::openReaders(std::int64_t now)
{
    const std::uint64_t start = engine_.toUnits(now);
    refReader_ = engine_.openReader(selectionOf(ref_, engine_.channels()), start);
    measReader_ = engine_.openReader(selectionOf(meas_, engine_.channels()), start);
    starts_.clear();
    stops_.clear();
}

void HistogrammerModule::enable(std::int64_t now)
{
    if (state_ == State::running)
        return;
    if (state_ == State::stopped) {
        std::fill(bins_.begin(), bins_.end(), 0);
        windowIndex_ = 0;
    }
    state_ = State::running;
    pausePending_ = false;
    windowStart_ = now;
    openReaders(now);
}

void HistogrammerModule::disable()
{
    state_ = State::stopped;
    pausePending_ = false;
    refReader_.reset();
    measReader_.reset();
    starts_.clear();
    stops_.clear();
    std::fill(bins_.begin(), bins_.end(), 0);
    windowIndex_ = 0;
    blockIndex_ = blockFlags_ = blockBins_ = 0;
    block_.clear();
}

void HistogrammerModule::count(std::int64_t ref)
{
    const std::int64_t lo = ref + left_;
    const std::int64_t hi = ref + right_;
    // Later references start later, so what lies before this one's window is needed no more.
    while (!stops_.empty() && stops_.front() < lo)
        stops_.pop_front();
    const std::uint32_t used = binsInUse();
    const auto add = [&](std::int64_t m) {
        const auto bin = static_cast<std::uint64_t>((m - lo) / width_);
        if (bin < used && bins_[bin] != 0xFFFFFFFFu)
            ++bins_[bin];
    };
    if (control_ & controlMultiHit) {
        for (auto it = stops_.begin(); it != stops_.end() && *it < hi; ++it)
            add(*it);
    } else if (!stops_.empty() && stops_.front() < hi) {
        add(stops_.front());
    }
}

void HistogrammerModule::measure(std::uint64_t refEnd)
{
    if (!refReader_)
        return;
    batch_.resize(batchSize);
    std::size_t n;
    do {
        n = refReader_->read(refEnd, batch_.data(), batch_.size());
        for (std::size_t i = 0; i < n; ++i)
            starts_.push_back(static_cast<std::int64_t>(batch_[i].time));
    } while (n == batch_.size());
    // Every measurement of these references ends by refEnd + right.
    const std::int64_t measEnd = static_cast<std::int64_t>(refEnd) + right_;
    if (measEnd > 0) {
        do {
            n = measReader_->read(static_cast<std::uint64_t>(measEnd), batch_.data(), batch_.size());
            for (std::size_t i = 0; i < n; ++i)
                stops_.push_back(static_cast<std::int64_t>(batch_[i].time));
        } while (n == batch_.size());
    }
    for (const std::int64_t r : starts_)
        count(r);
    starts_.clear();
}

void HistogrammerModule::push(std::uint32_t flags, Outbox &out)
{
    blockIndex_ = windowIndex_;
    blockFlags_ = flags;
    blockBins_ = binsInUse();
    block_.assign(bins_.begin(), bins_.begin() + blockBins_);
    std::vector<std::uint32_t> msg;
    msg.reserve(blockBins_ + 7);
    ++messages_;
    msg.push_back(0x80000000u | (messages_ & 0x7FFFFFFFu));
    msg.push_back(base_ + regBlock);
    msg.push_back(3 + blockBins_);
    msg.push_back(blockIndex_);
    msg.push_back(blockFlags_);
    msg.push_back(blockBins_);
    msg.insert(msg.end(), block_.begin(), block_.end());
    msg.push_back(static_cast<std::uint32_t>(Status::ok));
    out.emplace_back(1, std::move(msg));
}

void HistogrammerModule::service(std::int64_t now, Outbox &out)
{
    if (pausePending_) {
        pausePending_ = false;
        push(0, out);
    }
    if (state_ != State::running)
        return;
    const std::int64_t period = periodNs();
    if (now - windowStart_ > maxCatchUp * period) {
        // Windows that were never served are lost; the host sees the gap in the indices.
        const std::int64_t skipped = (now - windowStart_) / period - 1;
        windowStart_ += skipped * period;
        windowIndex_ += static_cast<std::uint32_t>(skipped);
        const std::uint64_t at = engine_.toUnits(windowStart_);
        refReader_->skipTo(at);
        measReader_->skipTo(at);
        starts_.clear();
        stops_.clear();
        std::fill(bins_.begin(), bins_.end(), 0);
    }
    const std::int64_t late = lateNs();
    while (now >= windowStart_ + period + late) {
        const std::int64_t end = windowStart_ + period;
        measure(engine_.toUnits(end));
        ++windowIndex_;
        const bool last = windows_ != 0 && windowIndex_ >= windows_;
        push(last ? flagLast : flagRunning, out);
        if (!(control_ & controlAccumulate))
            std::fill(bins_.begin(), bins_.begin() + binsInUse(), 0);
        windowStart_ = end;
        if (last) {
            state_ = State::stopped;
            refReader_.reset();
            measReader_.reset();
            break;
        }
    }
}

std::int64_t HistogrammerModule::nextDue() const
{
    if (pausePending_)
        return 0;
    return state_ == State::running ? windowStart_ + periodNs() + lateNs() : never;
}

} // namespace kestrane
