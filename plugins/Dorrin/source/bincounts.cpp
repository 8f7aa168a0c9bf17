#include "bincounts.h"

#include <algorithm>
#include <array>

namespace {
// Least significant digit first, a byte at a time; a byte that is the same in every key
// (the high bytes of bins that stay below 2^32, say) costs one counting pass and no move.
void radixSort(std::vector<std::uint64_t> &keys, std::vector<std::uint64_t> &scratch)
{
    const std::size_t n = keys.size();
    if (n < 256) {
        std::sort(keys.begin(), keys.end());
        return;
    }
    std::array<std::array<std::size_t, 256>, 8> counts{};
    for (const std::uint64_t k : keys)
        for (int d = 0; d < 8; ++d)
            ++counts[d][(k >> (8 * d)) & 0xff];
    scratch.resize(n);
    std::uint64_t *from = keys.data();
    std::uint64_t *to = scratch.data();
    for (int d = 0; d < 8; ++d) {
        auto &c = counts[d];
        if (c[(from[0] >> (8 * d)) & 0xff] == n)
            continue;
        std::size_t sum = 0;
        for (std::size_t &v : c) {
            const std::size_t here = v;
            v = sum;
            sum += here;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t k = from[i];
            to[c[(k >> (8 * d)) & 0xff]++] = k;
        }
        std::swap(from, to);
    }
    if (from != keys.data())
        keys.swap(scratch);
}
} // namespace

void BinCounts::add(const std::uint64_t *bins, std::size_t count)
{
    while (count > 0) {
        const std::size_t room = flushSize - m_pending.size();
        const std::size_t take = std::min(room, count);
        m_pending.insert(m_pending.end(), bins, bins + take);
        bins += take;
        count -= take;
        if (m_pending.size() >= flushSize)
            fold();
    }
}

void BinCounts::clear()
{
    // Gives the memory back: a preview cleared after a long run should not keep it.
    std::vector<std::uint64_t>().swap(m_pending);
    std::vector<std::uint64_t>().swap(m_scratch);
    std::vector<Entry>().swap(m_entries);
    std::vector<Entry>().swap(m_merged);
}

std::size_t BinCounts::size() const
{
    fold();
    return m_entries.size();
}

std::uint64_t BinCounts::count(std::uint64_t bin) const
{
    fold();
    const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), Entry{bin, 0});
    return at != m_entries.end() && at->first == bin ? at->second : 0;
}

const std::vector<BinCounts::Entry> &BinCounts::sorted() const
{
    fold();
    return m_entries;
}

void BinCounts::fold() const
{
    if (m_pending.empty())
        return;
    radixSort(m_pending, m_scratch);
    // Merges the runs of equal bins into the list in one pass over both.
    m_merged.clear();
    m_merged.reserve(m_entries.size() + std::min<std::size_t>(m_pending.size(), 1u << 16));
    auto old = m_entries.begin();
    const auto oldEnd = m_entries.end();
    const std::size_t n = m_pending.size();
    for (std::size_t i = 0; i < n;) {
        const std::uint64_t bin = m_pending[i];
        std::size_t j = i + 1;
        while (j < n && m_pending[j] == bin)
            ++j;
        while (old != oldEnd && old->first < bin)
            m_merged.push_back(*old++);
        std::uint64_t count = j - i;
        if (old != oldEnd && old->first == bin)
            count += (old++)->second;
        m_merged.emplace_back(bin, count);
        i = j;
    }
    m_merged.insert(m_merged.end(), old, oldEnd);
    m_entries.swap(m_merged);
    m_pending.clear();
}
