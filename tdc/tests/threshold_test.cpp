// The threshold DACs through the whole stack against the virtual board: quantisation and
// clamping, channel switches, and the life of an automatic tuning run (finishing, aborted,
// cut off by the module's end or by the board's).

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>

#include "boards.h"
#include "tdc/programmablethreshold.h"
#include "tdc/tdcerror.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class Threshold : public ::testing::Test {
protected:
    void SetUp() override
    {
        board = std::make_unique<testboards::InProcessBoard>();
        open();
    }
    void open()
    {
        const auto device = board->device(backend);
        ASSERT_FALSE(device.empty());
        ASSERT_FALSE(backend.open(device, {}, 5000ms));
        ASSERT_NO_THROW(backend.loadModules(0));
        dac = nullptr;
        for (auto *m : backend.getModules())
            if (auto *d = dynamic_cast<ProgrammableThreshold *>(m))
                dac = d;
        ASSERT_NE(dac, nullptr);
    }
    std::uint32_t boardWord(std::uint32_t offset)
    {
        std::uint32_t v = 0;
        EXPECT_EQ(board->virtualDevice().board().readWord(kestrane::Board::dacBase + offset, v), 8u);
        return v;
    }

    std::unique_ptr<testboards::InProcessBoard> board;
    TDCBackend backend;
    ProgrammableThreshold *dac = nullptr;
};

template <typename T> bool readyWithin(std::future<T> &f, std::chrono::milliseconds limit)
{
    return f.wait_for(limit) == std::future_status::ready;
}

} // namespace

TEST_F(Threshold, RangesQuantisationAndClamping)
{
    const auto sync = dac->getRange(0);
    EXPECT_EQ(sync.kind, 0);
    EXPECT_EQ(sync.min, sync.max) << "a fixed threshold is one voltage";
    const auto range = dac->getRange(1);
    EXPECT_EQ(range.kind, 1);
    EXPECT_LT(range.min, 0.0);
    EXPECT_GT(range.max, range.min);
    EXPECT_EQ(dac->getRange(static_cast<std::uint16_t>(dac->numChannels())).kind, -1);

    const double step = dac->step();
    EXPECT_NEAR(step, (range.max - range.min) / ((1u << dac->resolutionBits()) - 1), 1e-15);
    ASSERT_FALSE(dac->setVoltage(1, 0.3001));
    auto [ec, v] = dac->getVoltage(1);
    ASSERT_FALSE(ec);
    EXPECT_LE(std::abs(v - 0.3001), step / 2 + 1e-12) << "the nearest code";
    const double codes = (v - range.min) / step;
    EXPECT_NEAR(codes, std::round(codes), 1e-6) << "what the board applied is a whole code";

    EXPECT_FALSE(dac->setVoltage(2, range.max + 5));
    EXPECT_DOUBLE_EQ(dac->getVoltage(2).second, range.max);
    EXPECT_FALSE(dac->setVoltage(2, range.min - 5));
    EXPECT_DOUBLE_EQ(dac->getVoltage(2).second, range.min);

    EXPECT_EQ(dac->setVoltage(0, 0.2), make_error_code(tdcError::fixedThreshold));
    EXPECT_EQ(dac->setVoltage(static_cast<std::uint16_t>(dac->numChannels()), 0.2),
              make_error_code(tdcError::invalidArgument));
    EXPECT_EQ(dac->setVoltage(1, std::nan("")), make_error_code(tdcError::invalidArgument));

    // A list with the fixed channel in it still sets the others.
    EXPECT_EQ(dac->setVoltage({1, 0, 3}, 0.25), make_error_code(tdcError::fixedThreshold));
    EXPECT_NEAR(dac->getVoltage(1).second, 0.25, step);
    EXPECT_NEAR(dac->getVoltage(3).second, 0.25, step);
    EXPECT_DOUBLE_EQ(dac->getVoltage(0).second, sync.min);
}

TEST_F(Threshold, ChannelStatusSwitchesInputAndOutputSeparately)
{
    const std::uint32_t status2 = 0x40 + 8 * 2 + 1;
    EXPECT_EQ(boardWord(status2), 3u) << "both on at power-up";
    ASSERT_FALSE(dac->setChannelStatus({2}, DACModule::DISABLED, DACModule::UNCHANGED));
    EXPECT_EQ(boardWord(status2), 2u);
    ASSERT_FALSE(dac->setChannelStatus({2, 3}, DACModule::UNCHANGED, DACModule::DISABLED));
    EXPECT_EQ(boardWord(status2), 0u);
    EXPECT_EQ(boardWord(0x40 + 8 * 3 + 1), 1u);
    ASSERT_FALSE(dac->setChannelStatus({2, 3}, DACModule::ENABLED, DACModule::ENABLED));
    EXPECT_EQ(boardWord(status2), 3u);
    EXPECT_EQ(dac->setChannelStatus({2}, static_cast<DACModule::Status>(7)),
              make_error_code(tdcError::invalidArgument));
    EXPECT_EQ(dac->setChannelStatus({1, 200}, DACModule::DISABLED), make_error_code(tdcError::invalidArgument));
    EXPECT_EQ(boardWord(0x40 + 8 * 1 + 1), 3u) << "a bad list changes nothing";
}

TEST_F(Threshold, FixedAndUnknownChannelsAnswerAtOnceWithTheirOwnErrors)
{
    auto futures = dac->autoThreshold({0, static_cast<std::uint16_t>(dac->numChannels())});
    ASSERT_EQ(futures.size(), 2u);
    ASSERT_TRUE(readyWithin(futures[0], 0ms));
    ASSERT_TRUE(readyWithin(futures[1], 0ms));
    const auto [c0, e0, v0] = futures[0].get();
    EXPECT_EQ(c0, 0);
    EXPECT_EQ(e0, make_error_code(tdcError::fixedThreshold));
    EXPECT_NE(e0, std::make_error_code(std::errc::operation_canceled));
    EXPECT_DOUBLE_EQ(v0, dac->getRange(0).min);
    EXPECT_EQ(std::get<1>(futures[1].get()), make_error_code(tdcError::invalidArgument));
    EXPECT_FALSE(dac->autoThresholdRunning());
    EXPECT_FALSE(dac->abortAutoThreshold()) << "nothing to abort";
}

TEST_F(Threshold, AbortEndsQuicklyWithCancelledResultsAndKeepsTheOldThresholds)
{
    ASSERT_FALSE(dac->setVoltage(1, 0.15));
    const double before = dac->getVoltage(1).second;
    ASSERT_FALSE(dac->setSweep(1024, 1s).first) << "a run of 17 minutes";
    auto futures = dac->autoThreshold({1, 2, 0});
    ASSERT_EQ(futures.size(), 3u);
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(dac->autoThresholdRunning());
    auto busy = dac->autoThreshold({3});
    EXPECT_EQ(std::get<1>(busy[0].get()), make_error_code(tdcError::busy));

    const auto t0 = Clock::now();
    EXPECT_TRUE(dac->abortAutoThreshold());
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(readyWithin(futures[i], 2000ms));
        const auto [ch, ec, v] = futures[i].get();
        EXPECT_EQ(ch, i + 1);
        EXPECT_EQ(ec, std::errc::operation_canceled) << ec.message();
        if (i == 0)
            EXPECT_DOUBLE_EQ(v, before);
    }
    EXPECT_LT(Clock::now() - t0, 1s);
    EXPECT_EQ(std::get<1>(futures[2].get()), make_error_code(tdcError::fixedThreshold));
    EXPECT_DOUBLE_EQ(dac->getVoltage(1).second, before) << "the board put the threshold back";
    EXPECT_EQ(boardWord(0x04), 0u) << "the board stopped sweeping";
    EXPECT_FALSE(dac->autoThresholdRunning());
}

TEST_F(Threshold, ARunEndsCancelledWhenItsModuleGoesAndWithAnErrorWhenTheBoardDoes)
{
    ASSERT_FALSE(dac->setSweep(1024, 1s).first);
    auto futures = dac->autoThreshold({1, 2});
    std::this_thread::sleep_for(50ms);
    backend.close();
    for (auto &f : futures) {
        ASSERT_TRUE(readyWithin(f, 0ms)) << "closing waits for the watcher";
        EXPECT_EQ(std::get<1>(f.get()), std::errc::operation_canceled);
    }
    EXPECT_EQ(boardWord(0x04), 0u) << "a closing host stops the board's run";

    open();
    ASSERT_FALSE(dac->setSweep(1024, 1s).first);
    futures = dac->autoThreshold({3});
    std::this_thread::sleep_for(50ms);
    board->remove();
    ASSERT_TRUE(readyWithin(futures[0], 5000ms));
    const auto ec = std::get<1>(futures[0].get());
    EXPECT_TRUE(ec) << "an unplugged board ends the run with an error";
    EXPECT_NE(ec, std::errc::operation_canceled);
}
