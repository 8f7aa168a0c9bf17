#pragma once
// The counting core of the legacy histogrammer: start–stop pairing of reference and
// measurement events and saturating bins. A plain value with no clock and no board, so its
// arithmetic can be checked on hand-made event streams.
//
// Not thread-safe; the module that owns it calls it under the board's mutex.

#include <cstdint>
#include <vector>

namespace kestrane {

class LegacyBinner {
public:
    // 2^addrWidth bins of dataWidth-bit counters; differences of 2^stampBits or more are
    // beyond the time stamps and never counted.
    LegacyBinner(unsigned addrWidth, unsigned dataWidth, unsigned stampBits);

    void setBitTrunc(unsigned bits) { bitTrunc_ = bits; }
    void setOffset(std::uint64_t offset) { offset_ = offset; }
    unsigned bitTrunc() const { return bitTrunc_; }
    std::uint64_t offset() const { return offset_; }

    // Events in time order (units of the minimum bin width). One event may be both a
    // reference and a measurement event when both name the same channel and edge; it then
    // ends the running measurement first and starts the next.
    void event(std::uint64_t time, bool isReference, bool isMeasurement);
    // Forget a started measurement (counting paused or the channels changed).
    void dropStart() { haveStart_ = false; }

    void clear();
    const std::vector<std::uint32_t> &bins() const { return bins_; }
    std::uint32_t maxCount() const { return maxCount_; }

private:
    void count(std::uint64_t difference);

    std::vector<std::uint32_t> bins_;
    std::uint32_t maxCount_;
    std::uint64_t stampLimit_;
    unsigned bitTrunc_ = 0;
    std::uint64_t offset_ = 0;
    bool haveStart_ = false;
    std::uint64_t start_ = 0;
};

} // namespace kestrane
