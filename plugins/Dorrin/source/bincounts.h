#pragma once
// Counts per histogram bin for bins spread thinly over the whole 64-bit range: an open-
// addressing hash table (linear probing, at most half full), so adding a count costs one
// probe into memory that is usually already cached, whatever the spread of the bins.
// Bins come out in ascending order only when asked for (sorted()), which happens about once
// a second while counts are added millions of times a second.
//
// A plain value; not thread-safe (its owner locks).

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class BinCounts {
public:
    BinCounts();

    // Adds 1 to the count of `bin`.
    void add(std::uint64_t bin);
    // Adds 1 for each of `bins`; prefetches ahead, so large tables cost little more than
    // small ones.
    void add(const std::uint64_t *bins, std::size_t count);
    void clear();

    bool empty() const { return used_ == 0; }
    std::size_t size() const { return used_; }
    std::uint64_t count(std::uint64_t bin) const;
    // (bin, count) pairs in ascending bin order.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> sorted() const;

private:
    // A count of 0 marks a free slot: a bin present has at least 1.
    struct Slot {
        std::uint64_t bin;
        std::uint64_t count;
    };

    std::size_t home(std::uint64_t bin) const
    {
        return static_cast<std::size_t>((bin * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    void grow();

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    unsigned shift_ = 0;
    std::size_t used_ = 0;
};
