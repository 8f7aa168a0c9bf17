#include "kestrane/board.h"

#include <algorithm>
#include <iostream>
#include <pthread.h>

#include "../modules/counter/countermodule.h"
#include "../modules/dac/dacmodule.h"
#include "../modules/legacy/legacyhistogrammer.h"
#include "../modules/histogrammer/histogrammermodule.h"
#include "../modules/master/mastermodule.h"
#include "../modules/table/moduletable.h"
#include "../modules/tagger/timetaggermodule.h"
#include "../modules/tdc/tdcchannelmodule.h"
#include "../signal/eventengine.h"
#include "../signal/replaysource.h"
#include "boardtime.h"
#include "replaypacer.h"

namespace kestrane {

namespace {
constexpr std::uint32_t countMask = 0x1FFFFF;
constexpr std::uint32_t fixedBurstBit = 1u << 24;
constexpr std::uint32_t respondBit = 1u << 25;
// The pacing thread wakes at least this often, so a clock that is not quite the wall clock
// cannot leave it asleep for long.
constexpr auto maxPaceSleep = std::chrono::milliseconds(20);
// The most board time one step of the pacer or one request may owe. A few pacer wake-ups'
// worth, so an idle board with a punctual host never slips; at the highest rates still a
// fraction of the host's request time-out of work.
constexpr auto maxStep = std::chrono::milliseconds(50);
} // namespace

Board::Board(const Profile &profile, Clock clock, std::optional<std::uint64_t> seed,
             FirmwareIdentity identity)
    : profile_(profile),
      clock_(std::move(clock)),
      replayPacer_(!profile.replay.empty() && profile.replayPacing == ReplayPacing::fast
                       ? std::make_unique<ReplayPacer>(clock_,
                                                       std::chrono::nanoseconds(static_cast<std::int64_t>(
                                                           ReplaySource::leadInSeconds * 1e9)),
                                                       profile.tagLinkRate)
                       : nullptr),
      time_(std::make_unique<BoardTime>(replayPacer_ ? replayPacer_->clock() : clock_)),
      events_(std::make_unique<EventEngine>(makeEventSource(profile, seed.value_or(profile.seed)),
                                            profile.channels(), profile.minBinWidth)),
      histogrammers_(std::make_unique<HistogrammerBank>())
{
    auto add = [this](std::uint32_t base, std::unique_ptr<Module> m) {
        modules_.push_back({base, std::move(m)});
    };
    // One line per module, in address order.
    add(masterBase, std::make_unique<MasterModule>(identity.compileTime, identity.tag));
    add(tdcBase, std::make_unique<TdcChannelModule>(profile_));
    add(processedCounterBase, std::make_unique<CounterModule>(processedCounterBase, *events_, false));
    add(inputCounterBase, std::make_unique<CounterModule>(inputCounterBase, *events_, true));
    for (std::uint32_t i = 0, base = histogrammerBase; i < profile_.histogrammers; ++i, base += histogrammerStride)
        add(base, std::make_unique<HistogrammerModule>(base, *events_, profile_.histogramBins,
                                                       profile_.minBinWidth, *histogrammers_));
    if (profile_.legacyHistogrammer)
        add(legacyHistogrammerBase, makeLegacyHistogrammer());
    add(dacBase, makeDacModule());
    add(timeTaggerBase, std::make_unique<TimeTaggerModule>(*events_, profile_));

    // Lookup by address needs them in address order, whatever order they were added in.
    std::sort(modules_.begin(), modules_.end(), [](const Mapped &a, const Mapped &b) { return a.base < b.base; });
    std::vector<TableEntry> entries;
    for (const auto &m : modules_)
        entries.push_back({m.module->typeID(), m.module->hardwareVersion(),
                           m.module->softwareVersion(), m.base, m.module->size()});
    modules_.insert(modules_.begin(), Mapped{0, std::make_unique<ModuleTable>(std::move(entries))});

    // Counting starts when the board powers up.
    const std::int64_t now = time_->advance();
    for (auto &m : modules_)
        if (m.module->typeID() == CounterModule::typeId)
            m.module->write(CounterModule::regIntegrationUs, CounterModule::defaultIntegrationUs, now);
}

Board::~Board()
{
    stop();
}

void Board::setOutput(Output output)
{
    std::lock_guard<std::mutex> lock(outputMutex_);
    output_ = std::move(output);
}

Module *Board::find(std::uint32_t address, std::uint32_t &offset) const
{
    auto it = std::upper_bound(modules_.begin(), modules_.end(), address,
                               [](std::uint32_t a, const Mapped &m) { return a < m.base; });
    if (it == modules_.begin())
        return nullptr;
    --it;
    offset = address - it->base;
    return offset < it->module->size() ? it->module.get() : nullptr;
}

void Board::memoryRequest(bool isRead, const std::vector<std::uint32_t> &payload,
                          std::vector<std::uint32_t> &response)
{
    const std::uint32_t id = payload[0];
    const std::uint32_t address = payload[1];
    const std::uint32_t control = payload[2];
    const std::uint32_t count = control & countMask;
    const bool fixed = (control & fixedBurstBit) != 0;
    const std::int64_t now = time_->advance();

    response = {id, address, control};
    std::uint32_t offset = 0;
    Module *module = find(address, offset);
    Status status = Status::ok;
    const auto offsetOf = [&](std::uint32_t i) -> std::uint64_t {
        return fixed ? offset : static_cast<std::uint64_t>(offset) + i;
    };
    if (!module || count == 0 || offsetOf(count - 1) >= module->size())
        status = Status::decodeError;

    if (isRead) {
        if (status == Status::ok) {
            response.reserve(3 + count + 1);
            for (std::uint32_t i = 0; i < count && status == Status::ok; ++i) {
                std::uint32_t v = 0;
                status = module->read(static_cast<std::uint32_t>(offsetOf(i)), v);
                response.push_back(v);
            }
            if (status != Status::ok)
                response.resize(3);
        }
    } else {
        if (status == Status::ok && payload.size() - 3 != count)
            status = Status::slaveError;
        for (std::uint32_t i = 0; i < count && status == Status::ok; ++i)
            status = module->canWrite(static_cast<std::uint32_t>(offsetOf(i)));
        if (status == Status::ok)
            for (std::uint32_t i = 0; i < count; ++i)
                module->write(static_cast<std::uint32_t>(offsetOf(i)), payload[3 + i], now);
    }
    response.push_back(static_cast<std::uint32_t>(status));
}

void Board::handlePacket(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
{
    if ((stream != readStream && stream != writeStream) || payload.size() < 3)
        return;
    const bool isRead = stream == readStream;
    Outbox out;
    std::unique_lock<std::mutex> lock(mutex_);
    std::vector<std::uint32_t> response;
    memoryRequest(isRead, payload, response);
    const std::int64_t now = time_->advance();
    for (auto &m : modules_)
        m.module->flush(now, out);
    if (isRead || (payload[2] & respondBit))
        out.emplace_back(stream, std::move(response));
    emit(lock, out);
    // A register write may have moved the next due time.
    if (!isRead)
        paceWake_.notify_all();
}

void Board::service()
{
    Outbox out;
    std::unique_lock<std::mutex> lock(mutex_);
    const std::int64_t now = time_->advance();
    for (auto &m : modules_)
        m.module->service(now, out);
    emit(lock, out);
}

std::chrono::nanoseconds Board::nextDue() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t due = never;
    for (const auto &m : modules_)
        due = std::min(due, m.module->nextDue());
    return std::chrono::nanoseconds(due);
}

void Board::hostDetached()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto &m : modules_)
        m.module->hostDetached();
}

void Board::emit(std::unique_lock<std::mutex> &boardLock, Outbox &packets)
{
    if (packets.empty())
        return;
    // Hand over hand: the output lock is taken before the board's is let go, so packets leave
    // in the order the board made them. A sample finished before a register write is on the
    // wire before that write's answer, as on the real board.
    std::lock_guard<std::mutex> lock(outputMutex_);
    boardLock.unlock();
    if (!output_)
        return;
    for (const auto &[stream, payload] : packets) {
        output_(stream, payload);
        if (replayPacer_)
            replayPacer_->sent(4 * (payload.size() + 2));
    }
}

std::uint32_t Board::readWord(std::uint32_t address, std::uint32_t &value)
{
    std::vector<std::uint32_t> response;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        memoryRequest(true, {0, address, 1}, response);
    }
    value = response.size() == 5 ? response[3] : 0;
    return response.back();
}

std::uint32_t Board::writeWord(std::uint32_t address, std::uint32_t value)
{
    std::vector<std::uint32_t> response;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        memoryRequest(false, {0, address, respondBit | 1, value}, response);
    }
    paceWake_.notify_all();
    return response.back();
}

std::chrono::nanoseconds Board::slipped() const
{
    return time_->slipped();
}

bool Board::replayExhausted() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return events_->sourceExhausted();
}

void Board::start()
{
    std::lock_guard<std::mutex> lock(paceMutex_);
    if (pacer_.joinable())
        return;
    // Fast replay leaps ahead of the wall clock and keeps to the link on its own.
    if (!replayPacer_)
        time_->bound(maxStep);
    paceStop_ = false;
    pacer_ = std::thread([this] {
        pthread_setname_np(pthread_self(), pacingThreadName); // for profilers, top -H and the benchmarks
        pace();
    });
}

void Board::stop()
{
    {
        std::lock_guard<std::mutex> lock(paceMutex_);
        paceStop_ = true;
    }
    paceWake_.notify_all();
    if (pacer_.joinable() && pacer_.get_id() != std::this_thread::get_id())
        pacer_.join();
}

void Board::pace()
{
    std::unique_lock<std::mutex> lock(paceMutex_);
    while (!paceStop_) {
        lock.unlock();
        service();
        const auto due = nextDue();
        auto wait = due - time_->peek();
        if (replayPacer_ && due.count() != never)
            wait = replayPacer_->leap(wait, replayExhausted());
        lock.lock();
        if (paceStop_)
            break;
        if (wait > std::chrono::nanoseconds(0))
            paceWake_.wait_for(lock, std::min<std::chrono::nanoseconds>(wait, maxPaceSleep));
    }
}

} // namespace kestrane
