// Waits in tests are sized for an ordinary build on a loaded machine. Sanitizer builds run
// several times slower, so the build passes its factor in TESSARON_WAIT_SCALE and tests
// stretch their waits by it; an ordinary build leaves them as written.
#pragma once

#include <chrono>
#include <cstdlib>

namespace testsupport {

inline double waitScale()
{
    const char *text = std::getenv("TESSARON_WAIT_SCALE");
    const double scale = text ? std::atof(text) : 1.0;
    return scale >= 1.0 ? scale : 1.0;
}

template <typename Rep, typename Period>
std::chrono::milliseconds scaled(std::chrono::duration<Rep, Period> wait)
{
    const auto ms = std::chrono::duration_cast<std::chrono::duration<double, std::milli>>(wait);
    return std::chrono::milliseconds(static_cast<long long>(ms.count() * waitScale()));
}

} // namespace testsupport
