#include "legacybinner.h"

#include <algorithm>

namespace kestrane {

LegacyBinner::LegacyBinner(unsigned addrWidth, unsigned dataWidth, unsigned stampBits)
    : bins_(std::size_t(1) << addrWidth, 0),
      maxCount_(dataWidth >= 32 ? 0xFFFFFFFFu : (1u << dataWidth) - 1),
      stampLimit_(stampBits >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << stampBits))
{
}

void LegacyBinner::clear()
{
    std::fill(bins_.begin(), bins_.end(), 0);
}

void LegacyBinner::count(std::uint64_t difference)
{
    if (difference >= stampLimit_ || difference < offset_)
        return;
    const std::uint64_t index = (difference - offset_) >> bitTrunc_;
    if (index >= bins_.size())
        return;
    auto &bin = bins_[index];
    // Saturate: a full bin stays full rather than wrapping to a small, believable number.
    if (bin < maxCount_)
        ++bin;
}

void LegacyBinner::event(std::uint64_t time, bool isReference, bool isMeasurement)
{
    if (isMeasurement && haveStart_) {
        count(time - start_);
        haveStart_ = false;
    }
    if (isReference) {
        haveStart_ = true;
        start_ = time;
    }
}

} // namespace kestrane
