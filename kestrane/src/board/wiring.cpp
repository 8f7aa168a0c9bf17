// The board's legacy histogrammer and threshold DACs joined to its event engine.

#include <cmath>

#include "kestrane/board.h"
#include "../modules/dac/dacmodule.h"
#include "../modules/legacy/legacyhistogrammer.h"
#include "../signal/eventengine.h"
#include "boardtime.h"

namespace kestrane {

namespace {

using ReaderSlot = std::shared_ptr<std::unique_ptr<EventEngine::Reader>>;

// The slot's reader placed at `from` with `selection`, opened on first use.
EventEngine::Reader &readerAt(EventEngine &engine, const ReaderSlot &slot, const EventEngine::Selection &selection,
                              std::uint64_t from)
{
    if (!*slot) {
        *slot = engine.openReader(selection, from);
        return **slot;
    }
    auto &r = **slot;
    const auto &current = r.selection();
    if (current.rising != selection.rising || current.falling != selection.falling ||
        current.processed != selection.processed)
        r.select(selection);
    if (r.position() < from)
        r.skipTo(from);
    return r;
}

std::uint64_t channelBit(std::uint32_t channel)
{
    return channel < 64 ? std::uint64_t(1) << channel : 0;
}

} // namespace

std::unique_ptr<Module> Board::makeLegacyHistogrammer()
{
    EventEngine *engine = events_.get();
    auto slot = std::make_shared<std::unique_ptr<EventEngine::Reader>>();
    auto events = [engine, slot](std::int64_t from, std::int64_t to, std::uint32_t a, std::uint32_t edgesA,
                                 std::uint32_t b, std::uint32_t edgesB, std::vector<EdgeEvent> &out) {
        EventEngine::Selection s;
        s.rising = (edgesA & 1 ? channelBit(a) : 0) | (edgesB & 1 ? channelBit(b) : 0);
        s.falling = (edgesA & 2 ? channelBit(a) : 0) | (edgesB & 2 ? channelBit(b) : 0);
        s.processed = true;
        auto &reader = readerAt(*engine, slot, s, engine->toUnits(from));
        const std::uint64_t end = engine->toUnits(to);
        Event batch[1024];
        std::size_t n = 0;
        do {
            n = reader.read(end, batch, std::size(batch));
            for (std::size_t i = 0; i < n; ++i)
                out.push_back({batch[i].time, batch[i].channel, static_cast<std::uint8_t>(batch[i].edge)});
        } while (n == std::size(batch));
    };
    const auto fs = static_cast<std::uint32_t>(std::llround(profile_.minBinWidth * 1e15));
    return std::make_unique<LegacyHistogrammer>(legacyHistogrammerBase, profile_.channels(), profile_.coarseBits,
                                                profile_.fineBits, fs, std::move(events),
                                                [slot] { slot->reset(); });
}

std::unique_ptr<Module> Board::makeDacModule()
{
    EventEngine *engine = events_.get();
    DacModule::Config c;
    c.channels = profile_.channels();
    c.resolutionBits = profile_.dacBits;
    c.minVolts = profile_.dacMin;
    c.maxVolts = profile_.dacMax;
    for (std::uint32_t ch = 0; ch < c.channels; ++ch)
        c.initialVolts.push_back(profile_.shape(ch).threshold);

    auto slot = std::make_shared<std::unique_ptr<EventEngine::Reader>>();
    DacModule::Wiring w;
    w.setComparator = [engine](std::uint32_t channel, double volts, bool enabled, std::int64_t now) {
        engine->setThreshold(channel, volts, engine->toUnits(now));
        engine->setEnabled(channel, enabled);
    };
    // The raw input, counted as the raw-input counter counts it: every pulse, before dead time.
    w.rawCounts = [engine, slot](std::int64_t from, std::int64_t to, std::vector<std::uint64_t> &counts) {
        const auto s = EventEngine::Selection::allRising(engine->channels(), false);
        auto &reader = readerAt(*engine, slot, s, engine->toUnits(from));
        const std::uint64_t end = engine->toUnits(to);
        Event batch[1024];
        std::size_t n = 0;
        do {
            n = reader.read(end, batch, std::size(batch));
            for (std::size_t i = 0; i < n; ++i)
                if (batch[i].channel < counts.size())
                    ++counts[batch[i].channel];
        } while (n == std::size(batch));
    };
    w.release = [slot] { slot->reset(); };
    return std::make_unique<DacModule>(c, std::move(w), time_->peek().count());
}

} // namespace kestrane
