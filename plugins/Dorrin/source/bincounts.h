#pragma once
// Counts per histogram bin for bins spread thinly over the whole 64-bit range. New bins are
// appended to a buffer at the cost of a store; when the buffer is full it is radix-sorted,
// run-length counted and merged into the sorted (bin, count) list. Memory is sequential
// throughout, so the cost per count stays a few nanoseconds whether the bins repeat or spread
// over millions of distinct values (where a hash table would miss the cache on every count).
//
// A plain value; not thread-safe (its owner locks). Reading members are const but may fold
// the buffer into the list first.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class BinCounts {
public:
    using Entry = std::pair<std::uint64_t, std::uint64_t>;

    // Adds 1 to the count of `bin`.
    void add(std::uint64_t bin)
    {
        m_pending.push_back(bin);
        if (m_pending.size() >= flushSize)
            fold();
    }
    // Adds 1 for each of `bins`.
    void add(const std::uint64_t *bins, std::size_t count);
    void clear();

    bool empty() const { return m_pending.empty() && m_entries.empty(); }
    // Distinct bins.
    std::size_t size() const;
    std::uint64_t count(std::uint64_t bin) const;
    // (bin, count) pairs in ascending bin order.
    const std::vector<Entry> &sorted() const;

private:
    static constexpr std::size_t flushSize = std::size_t(1) << 20;

    void fold() const;

    mutable std::vector<std::uint64_t> m_pending;
    mutable std::vector<std::uint64_t> m_scratch;
    mutable std::vector<Entry> m_entries;
    mutable std::vector<Entry> m_merged;
};
