// The threshold DACs through the whole stack against the virtual board: quantisation and
// clamping, channel switches, and the life of an automatic tuning run (finishing, aborted,
// cut off by the module's end or by the board's).

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "boards.h"
#include "tdc/programmablethreshold.h"
#include "tdc/tdcerror.h"
#include "tdc/tdcfennick.h"
#include "wait_scale.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::scaled;

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
        ASSERT_TRUE(readyWithin(futures[i], scaled(2000ms)));
        const auto [ch, ec, v] = futures[i].get();
        EXPECT_EQ(ch, i + 1);
        EXPECT_EQ(ec, std::errc::operation_canceled) << ec.message();
        if (i == 0) {
            EXPECT_DOUBLE_EQ(v, before);
        }
    }
    EXPECT_LT(Clock::now() - t0, scaled(1s));
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
    ASSERT_TRUE(readyWithin(futures[0], scaled(5000ms)));
    const auto ec = std::get<1>(futures[0].get());
    EXPECT_TRUE(ec) << "an unplugged board ends the run with an error";
    EXPECT_NE(ec, std::errc::operation_canceled);
}

namespace {

// Known pulse heights and noise per input; input 8 has no pulses at all.
const char *tuningProfile = R"({"inputs": 8, "syncPeriod": 1e-4,
  "rates": [20000, 10000, 50000, 8000, 30000, 15000, 25000, 0],
  "pulseHeight": [{"mean": 0.5, "sigma": 0.03}, {"mean": 0.4, "sigma": 0.03}, {"mean": 0.6, "sigma": 0.05},
                  {"mean": 0.3, "sigma": 0.02}, {"mean": 0.75, "sigma": 0.04}, {"mean": 0.5, "sigma": 0.02},
                  {"mean": 0.7, "sigma": 0.05}, {"mean": 0.5, "sigma": 0.03}],
  "noise": [{"sigma": 0.01, "f0": 1e6}, {"sigma": 0.01, "f0": 1e6}, {"sigma": 0.02, "f0": 1e6},
            {"sigma": 0.01, "f0": 1e7}, {"sigma": 0.03, "f0": 1e6}, {"sigma": 0.015, "f0": 1e6},
            {"sigma": 0.02, "f0": 1e6}, {"sigma": 0.01, "f0": 1e6}],
  "threshold": 0.1, "seed": 3})";

kestrane::Profile parsed(const char *json)
{
    kestrane::Profile p;
    std::string error;
    if (!kestrane::parseProfile(json, p, error))
        throw std::runtime_error(error);
    return p;
}

// The comparator's count rate at threshold v: pulses higher than v, and noise crossings.
double modelRate(const kestrane::Profile &p, std::uint32_t channel, double v)
{
    const auto &s = p.shape(channel);
    const double rate = p.rates[channel - 1];
    const double pulses =
        s.heightSigma > 0 ? rate * 0.5 * std::erfc((v - s.heightMean) / (s.heightSigma * std::sqrt(2.0)))
                          : (v < s.heightMean ? rate : 0.0);
    return pulses + s.noiseRate * std::exp(-v * v / (2 * s.noiseSigma * s.noiseSigma));
}

class ThresholdModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        profile = parsed(tuningProfile);
        board = std::make_unique<testboards::InProcessBoard>(profile);
        ASSERT_FALSE(backend.open(board->device(backend), {}, 5000ms));
        ASSERT_NO_THROW(backend.loadModules(0));
        for (auto *m : backend.getModules()) {
            if (auto *d = dynamic_cast<ProgrammableThreshold *>(m))
                dac = d;
            if (auto *f = dynamic_cast<TDCFennick *>(m); f && f->inputLogic())
                raw = f;
        }
        ASSERT_TRUE(dac && raw);
    }

    // The raw input rate of `channel` over one whole sample taken after the call.
    double measuredRate(std::uint32_t channel)
    {
        struct Box {
            std::mutex m;
            std::condition_variable cv;
            std::vector<std::vector<std::uint32_t>> samples;
            double dt = 0;
        };
        auto box = std::make_shared<Box>();
        raw->setCallback([box](std::mutex &, std::chrono::duration<double> dt, const std::vector<std::uint32_t> &c) {
            std::lock_guard<std::mutex> lock(box->m);
            box->samples.push_back(c);
            box->dt = dt.count();
            box->cv.notify_all();
        });
        std::unique_lock<std::mutex> lock(box->m);
        // The first sample may have begun before the change.
        const bool got = box->cv.wait_for(lock, scaled(5s), [&] { return box->samples.size() >= 2; });
        lock.unlock();
        raw->setCallback({});
        if (!got) {
            ADD_FAILURE() << "no samples from the raw input counter";
            return -1;
        }
        return box->samples[1][channel] / box->dt;
    }

    kestrane::Profile profile;
    std::unique_ptr<testboards::InProcessBoard> board;
    TDCBackend backend;
    ProgrammableThreshold *dac = nullptr;
    TDCFennick *raw = nullptr;
};

} // namespace

TEST_F(ThresholdModel, ThresholdsChangeTheRawCountRatesAsTheModelSays)
{
    ASSERT_FALSE(raw->setIntegrationTime(0.1).first);
    ASSERT_FALSE(raw->setAutoPush(true));
    // Channel 1: 20 kHz of pulses 0.5 ± 0.03 V over noise of 10 mV.
    for (const double v : {0.1, 0.5, 0.47, 0.03, 1.0}) {
        ASSERT_FALSE(dac->setVoltage(1, v));
        const double applied = dac->getVoltage(1).second;
        const double expected = modelRate(profile, 1, applied);
        const double got = measuredRate(1);
        // Five Poisson deviations of a 0.1 s count, and 3 % for the model's own spread.
        EXPECT_NEAR(got, expected, 5 * std::sqrt(std::max(expected, 1.0) / 0.1) + 0.03 * expected)
            << "threshold " << applied << " V";
    }
    ASSERT_FALSE(dac->setVoltage(1, 0.1));
    ASSERT_FALSE(dac->setChannelStatus({1}, DACModule::DISABLED));
    EXPECT_EQ(measuredRate(1), 0.0) << "a disabled channel produces no events";
    EXPECT_GT(measuredRate(2), 0.9 * 10000) << "the others go on";
    ASSERT_FALSE(dac->setChannelStatus({1}, DACModule::ENABLED));
    EXPECT_NEAR(measuredRate(1), 20000, 5 * std::sqrt(20000 / 0.1) + 600);
    raw->setAutoPush(false);
}

TEST_F(ThresholdModel, TuningLandsInsideEveryPlateauAndFindsNoneWithoutPulses)
{
    ASSERT_FALSE(dac->setSweep(50, 20ms).first) << "a second of board time";
    std::vector<std::uint16_t> all;
    for (std::uint16_t c = 0; c < dac->numChannels(); ++c)
        all.push_back(c);
    auto futures = dac->autoThreshold(all);
    ASSERT_EQ(futures.size(), 9u);
    for (auto &f : futures) {
        ASSERT_EQ(f.wait_for(scaled(10s)), std::future_status::ready);
        const auto [c, ec, v] = f.get();
        if (c == 0) {
            EXPECT_EQ(ec, make_error_code(tdcError::fixedThreshold));
            continue;
        }
        if (c == 8) {
            EXPECT_EQ(ec, make_error_code(tdcError::noPlateau)) << ec.message();
            EXPECT_NEAR(v, 0.1, dac->step()) << "no plateau: the threshold stays";
            EXPECT_EQ(dac->getPlateau(8).first, make_error_code(tdcError::noPlateau));
            continue;
        }
        ASSERT_FALSE(ec) << "channel " << c << ": " << ec.message();
        const auto &s = profile.shape(c);
        const double rate = profile.rates[c - 1];
        EXPECT_LT(s.noiseRate * std::exp(-v * v / (2 * s.noiseSigma * s.noiseSigma)), 0.01 * rate)
            << "channel " << c << " at " << v << " V sits on the noise wall";
        EXPECT_LT(v, s.heightMean - 2.33 * s.heightSigma) << "channel " << c << " at " << v << " V cuts pulses";
        EXPECT_DOUBLE_EQ(dac->getVoltage(c).second, v) << "the board kept what it reported";
        const auto [pec, plateau] = dac->getPlateau(c);
        ASSERT_FALSE(pec);
        EXPECT_LE(plateau.from, v);
        EXPECT_GE(plateau.to, v);
        EXPECT_NEAR(plateau.rate, rate, 0.1 * rate);
    }
}
