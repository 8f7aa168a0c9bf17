// A test that never ends on its own: the per-test time limit must end its binary, naming it.
// Registered as test_time_limit, which passes only when the limit's message appears.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

TEST(TimeLimitCheck, RunsUntilItsLimitEndsIt)
{
    std::this_thread::sleep_for(std::chrono::seconds(60));
    FAIL() << "the time limit never ended this test";
}
