// Which source feeds a board's event engine. A source that plays recorded files back is chosen
// here too, by the profile.

#include "eventengine.h"
#include "modelsource.h"

namespace kestrane {

std::unique_ptr<EventSource> makeEventSource(const Profile &profile, std::uint64_t seed)
{
    return std::make_unique<ModelSource>(profile, seed);
}

} // namespace kestrane
