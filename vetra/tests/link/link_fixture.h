#pragma once
// A library object opened on a pseudo-terminal with a scripted board on the far side.

#include "board_sim.h"

#include <vetra/vetra.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

// The value of a future that must settle within `limit`. A time-out that never fires would
// hang the binary in get(); here the test fails at once and the binary goes on.
template <typename Future>
auto settled(Future &&future, std::chrono::milliseconds limit = std::chrono::seconds(15))
{
    if (future.wait_for(limit) != std::future_status::ready) {
        ADD_FAILURE() << "a future did not settle within " << limit.count() << " ms";
        throw std::runtime_error("a future did not settle");
    }
    return future.get();
}

class link_fixture : public ::testing::Test {
protected:
    static constexpr std::uint8_t readStream = 1;
    static constexpr std::uint8_t writeStream = 2;

    void SetUp() override
    {
        const std::error_code ec =
            link.open({{"class", "Serial"}, {"name", board.portName()}}, {}, readStream, writeStream);
        ASSERT_FALSE(ec) << ec.message();
        board.releaseSlave();
        EXPECT_EQ(link.getTimeout(), std::chrono::milliseconds(100));
        // Generous, so that a loaded machine never turns an answer into a time-out; the
        // tests about time-outs set their own.
        link.setTimeout(10s);
    }

    // Makes the board answer every memory request with status 8.
    void answerEverything()
    {
        board.setScript([](board_sim &b, const board_sim::packet &p) {
            board_sim::answer(b, p);
            return true;
        });
    }

    std::vector<std::error_code> linkErrors()
    {
        std::lock_guard<std::mutex> lock(errorsMutex);
        return errors;
    }

    // Polls `condition` until it holds or `limit` has passed.
    template <typename Condition>
    static bool eventually(Condition condition, std::chrono::milliseconds limit = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition())
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return condition();
    }

    board_sim board; // declared first: outlives the link
    std::mutex errorsMutex;
    std::vector<std::error_code> errors;
    vetra link{[this](const std::error_code &ec, vetra::buffer_list) {
        std::lock_guard<std::mutex> lock(errorsMutex);
        errors.push_back(ec);
    }};
};
