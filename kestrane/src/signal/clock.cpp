#include "kestrane/clock.h"

namespace kestrane {

Clock wallClock()
{
    const auto start = std::chrono::steady_clock::now();
    return [start] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now() - start);
    };
}

} // namespace kestrane
