// Which source feeds a board's event engine. A source that plays recorded files back is chosen
// here too, by the profile.

#include "eventengine.h"
#include "modelsource.h"
#include "replaysource.h"

namespace kestrane {

std::unique_ptr<EventSource> makeEventSource(const Profile &profile, std::uint64_t seed)
{
    if (!profile.replay.empty())
        return std::make_unique<ReplaySource>(profile.replay, profile.minBinWidth);
    return std::make_unique<ModelSource>(profile, seed);
}

} // namespace kestrane
