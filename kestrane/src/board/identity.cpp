#include "kestrane/board.h"

#include "kestrane_build_identity.h"

namespace kestrane {

FirmwareIdentity FirmwareIdentity::ofThisBuild()
{
    FirmwareIdentity id;
    // Seconds since 1970 at configure time, in the firmware's 100 ns units.
    id.compileTime = static_cast<std::int64_t>(KESTRANE_BUILD_UNIX_TIME) * 10000000;
    id.tag = std::string("Kestrane virtual;repo = ") + KESTRANE_REPO + ";SHA = " + KESTRANE_SHA +
             ";branch = " + KESTRANE_BRANCH;
    return id;
}

} // namespace kestrane
