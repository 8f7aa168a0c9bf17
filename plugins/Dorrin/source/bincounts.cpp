#include "bincounts.h"

#include <algorithm>

namespace {
constexpr unsigned initialBits = 12;
} // namespace

BinCounts::BinCounts()
{
    clear();
}

void BinCounts::clear()
{
    // Shrinks back: a preview cleared after a long run should not keep a huge table.
    slots_.assign(std::size_t(1) << initialBits, Slot{0, 0});
    mask_ = slots_.size() - 1;
    shift_ = 64 - initialBits;
    used_ = 0;
}

void BinCounts::add(std::uint64_t bin)
{
    std::size_t i = home(bin);
    for (;;) {
        Slot &s = slots_[i];
        if (s.count == 0) {
            s.bin = bin;
            s.count = 1;
            if (++used_ * 2 > slots_.size())
                grow();
            return;
        }
        if (s.bin == bin) {
            ++s.count;
            return;
        }
        i = (i + 1) & mask_;
    }
}

void BinCounts::add(const std::uint64_t *bins, std::size_t count)
{
    // In groups: the slots of a whole group are requested from memory before the first is
    // touched, so their cache misses overlap instead of queueing one behind the other.
    constexpr std::size_t group = 16;
    for (std::size_t start = 0; start < count; start += group) {
        const std::size_t end = std::min(count, start + group);
        for (std::size_t k = start; k < end; ++k)
            __builtin_prefetch(&slots_[home(bins[k])], 1);
        for (std::size_t k = start; k < end; ++k)
            add(bins[k]);
    }
}

std::uint64_t BinCounts::count(std::uint64_t bin) const
{
    std::size_t i = home(bin);
    for (;;) {
        const Slot &s = slots_[i];
        if (s.count == 0)
            return 0;
        if (s.bin == bin)
            return s.count;
        i = (i + 1) & mask_;
    }
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> BinCounts::sorted() const
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    out.reserve(used_);
    for (const Slot &s : slots_)
        if (s.count != 0)
            out.emplace_back(s.bin, s.count);
    std::sort(out.begin(), out.end());
    return out;
}

void BinCounts::grow()
{
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.size() * 2, Slot{0, 0});
    mask_ = slots_.size() - 1;
    --shift_;
    for (const Slot &s : old) {
        if (s.count == 0)
            continue;
        std::size_t i = home(s.bin);
        while (slots_[i].count != 0)
            i = (i + 1) & mask_;
        slots_[i] = s;
    }
}
