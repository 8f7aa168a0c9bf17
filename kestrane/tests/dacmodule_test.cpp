// The threshold DACs against a comparator model with known pulse heights and noise:
// quantisation, enables, and the firmware's plateau search on board time.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "modules/dac/dacmodule.h"
#include "modules/dac/plateau.h"

using kestrane::DacModule;
using kestrane::Outbox;
using kestrane::Status;

namespace {

constexpr std::int64_t ms = 1000000;

// Each input: Poisson pulses of rate `rate` with Gaussian heights (mean, sigma) and baseline
// noise crossing a threshold V at f0·exp(−V²/2σ²).
struct Input {
    double rate = 0;
    double height = 0;
    double heightSigma = 0;
    double noiseSigma = 0.01;
    double noiseF0 = 1e6;
};

struct ComparatorModel {
    std::vector<Input> inputs;
    std::vector<double> volts;
    std::vector<bool> enabled;
    std::mt19937_64 rng{7};
    int releases = 0;

    explicit ComparatorModel(std::vector<Input> in) : inputs(std::move(in)), volts(inputs.size()), enabled(inputs.size()) {}

    double rateAt(std::uint32_t c, double v) const
    {
        const auto &in = inputs[c];
        double pulses = in.rate;
        if (in.heightSigma > 0)
            pulses *= 0.5 * std::erfc((v - in.height) / (in.heightSigma * std::sqrt(2.0)));
        else if (v >= in.height)
            pulses = 0;
        return pulses + in.noiseF0 * std::exp(-v * v / (2 * in.noiseSigma * in.noiseSigma));
    }

    DacModule::Wiring wiring()
    {
        DacModule::Wiring w;
        w.setComparator = [this](std::uint32_t c, double v, bool on, std::int64_t) {
            volts[c] = v;
            enabled[c] = on;
        };
        w.rawCounts = [this](std::int64_t from, std::int64_t to, std::vector<std::uint64_t> &counts) {
            for (std::uint32_t c = 0; c < inputs.size(); ++c) {
                if (!enabled[c])
                    continue;
                std::poisson_distribution<std::uint64_t> d(rateAt(c, volts[c]) * (to - from) * 1e-9);
                counts[c] = d(rng);
            }
        };
        w.release = [this] { ++releases; };
        return w;
    }
};

DacModule::Config config(std::uint32_t channels)
{
    DacModule::Config c;
    c.channels = channels;
    c.resolutionBits = 12;
    c.minVolts = -0.2;
    c.maxVolts = 1.0;
    c.initialVolts.assign(channels, 0.3);
    return c;
}

std::uint32_t reg(std::uint32_t channel, std::uint32_t word)
{
    return DacModule::regChannelBase + DacModule::channelWords * channel + word;
}

std::uint32_t readReg(DacModule &m, std::uint32_t offset)
{
    std::uint32_t v = 0;
    EXPECT_EQ(m.read(offset, v), Status::ok);
    return v;
}

// Runs board time forward in steps of `step` until the tuning ends or `limit` passes.
std::int64_t runTuning(DacModule &m, std::int64_t &now, std::int64_t limit, std::int64_t step = ms)
{
    Outbox out;
    const std::int64_t start = now;
    while (readReg(m, DacModule::regTuneControl) != 0 && now - start < limit) {
        now += step;
        m.service(now, out);
    }
    EXPECT_TRUE(out.empty()) << "the tuning sends nothing by itself";
    return now - start;
}

} // namespace

TEST(Plateau, WidestFlatRunWithARealRate)
{
    // noise wall, a plateau of 6 steps, the edge, nothing.
    const std::vector<std::uint64_t> counts = {90000, 9000, 700, 410, 395, 402, 388, 405, 399, 200, 20, 0, 0, 0, 0, 0, 0, 0};
    const auto p = kestrane::findPlateau(counts);
    ASSERT_TRUE(p.found);
    EXPECT_EQ(p.first, 3u);
    EXPECT_EQ(p.last, 8u);
    EXPECT_NEAR(p.mean, 399.8, 0.1);

    EXPECT_FALSE(kestrane::findPlateau({50000, 3000, 40, 2, 0, 0, 0, 0, 0, 0}).found)
        << "noise falling to nothing has no plateau";
    EXPECT_FALSE(kestrane::findPlateau({400, 400}).found) << "two steps are too few";
    EXPECT_FALSE(kestrane::findPlateau({}).found);
}

TEST(DacModule, QuantisesToTheResolutionAndReadsBackWhatItApplied)
{
    ComparatorModel model(std::vector<Input>(3));
    DacModule m(config(3), model.wiring(), 0);
    EXPECT_EQ(readReg(m, DacModule::regResolution), 12u);
    EXPECT_EQ(static_cast<std::int32_t>(readReg(m, DacModule::regMinMicrovolts)), -200000);
    EXPECT_EQ(static_cast<std::int32_t>(readReg(m, DacModule::regMaxMicrovolts)), 1000000);

    const double lsb = 1.2 / 4095;
    EXPECT_EQ(m.code(-0.2), 0u);
    EXPECT_EQ(m.code(1.0), 4095u);
    EXPECT_EQ(m.code(5.0), 4095u);
    EXPECT_EQ(m.code(-3.0), 0u);
    EXPECT_EQ(m.code(0.3), static_cast<std::uint32_t>(std::lround(0.5 / lsb)));
    // Power-up thresholds reach the comparators quantised.
    EXPECT_NEAR(model.volts[1], 0.3, lsb / 2);
    EXPECT_DOUBLE_EQ(model.volts[1], m.volts(readReg(m, reg(1, DacModule::chCode))));

    ASSERT_EQ(m.canWrite(reg(2, DacModule::chCode)), Status::ok);
    m.write(reg(2, DacModule::chCode), 100000, 0);
    EXPECT_EQ(readReg(m, reg(2, DacModule::chCode)), 4095u) << "codes beyond the DAC are clamped";
    EXPECT_DOUBLE_EQ(model.volts[2], 1.0);

    // The sync channel's threshold is fixed; reserved words and unknown channels refuse writes.
    EXPECT_EQ(readReg(m, reg(0, DacModule::chKind)), 0u);
    EXPECT_EQ(readReg(m, reg(1, DacModule::chKind)), 1u);
    EXPECT_EQ(m.canWrite(reg(0, DacModule::chCode)), Status::slaveError);
    EXPECT_EQ(m.canWrite(reg(0, DacModule::chStatus)), Status::ok);
    EXPECT_EQ(m.canWrite(reg(1, DacModule::chTuneState)), Status::slaveError);
    EXPECT_EQ(m.canWrite(reg(3, DacModule::chCode)), Status::slaveError);
    EXPECT_EQ(m.canWrite(DacModule::regResolution), Status::slaveError);
    EXPECT_EQ(m.canWrite(DacModule::windowSize), Status::decodeError);
}

TEST(DacModule, InputEnableAndOutputReachTheComparator)
{
    ComparatorModel model(std::vector<Input>(3));
    DacModule m(config(3), model.wiring(), 0);
    EXPECT_TRUE(model.enabled[1]);
    m.write(reg(1, DacModule::chStatus), DacModule::statusOutput, 0);
    EXPECT_FALSE(model.enabled[1]);
    EXPECT_NEAR(model.volts[1], 0.3, 1e-3);
    m.write(reg(1, DacModule::chStatus), DacModule::statusInput, 0);
    EXPECT_TRUE(model.enabled[1]);
    EXPECT_EQ(model.volts[1], 0.0) << "a DAC whose output is off leaves the comparator at 0 V";
    EXPECT_TRUE(model.enabled[2]);
}

TEST(DacModule, TuningSettlesEveryChannelInsideItsPlateauWithinFiveSecondsOfBoardTime)
{
    // Channel 0 is the sync (fixed); 1…8 differ in pulse height, spread, rate and noise.
    std::vector<Input> inputs = {
        {1e4, 0.5, 0.02, 0.01, 1e6},  {2e3, 0.4, 0.03, 0.01, 1e6},  {5e3, 0.6, 0.05, 0.02, 1e6},
        {1e4, 0.3, 0.02, 0.01, 1e7},  {5e4, 0.8, 0.04, 0.03, 1e6},  {1e3, 0.5, 0.02, 0.01, 1e5},
        {2e4, 0.7, 0.06, 0.015, 1e6}, {8e3, 0.45, 0.03, 0.02, 1e6}, {3e3, 0.9, 0.02, 0.025, 1e6},
    };
    ComparatorModel model(inputs);
    DacModule m(config(9), model.wiring(), 0);
    m.write(DacModule::regMaskLow, 0x1FF, 0);
    std::int64_t now = 0;
    m.write(DacModule::regTuneControl, DacModule::tuneStart, now);
    EXPECT_EQ(readReg(m, DacModule::regTuneControl), 1u);
    const std::int64_t took = runTuning(m, now, 10000 * ms);
    EXPECT_LE(took, 5000 * ms);
    EXPECT_EQ(readReg(m, DacModule::regTuneRuns), 1u);
    EXPECT_EQ(model.releases, 1);

    EXPECT_EQ(readReg(m, reg(0, DacModule::chTuneState)), DacModule::fixed);
    for (std::uint32_t c = 1; c < 9; ++c) {
        ASSERT_EQ(readReg(m, reg(c, DacModule::chTuneState)), DacModule::done) << "channel " << c;
        const double v = model.volts[c];
        const auto &in = inputs[c];
        // Inside the plateau: noise adds under 1 % and pulses lose under 1 %.
        EXPECT_LT(in.noiseF0 * std::exp(-v * v / (2 * in.noiseSigma * in.noiseSigma)), 0.01 * in.rate)
            << "channel " << c << " at " << v << " V sits on the noise wall";
        EXPECT_LT(v, in.height - 2.33 * in.heightSigma) << "channel " << c << " at " << v << " V cuts pulses";
        EXPECT_NEAR(readReg(m, reg(c, DacModule::chPlateauRate)), in.rate, 0.1 * in.rate) << "channel " << c;
        EXPECT_EQ(readReg(m, reg(c, DacModule::chCode)),
                  (readReg(m, reg(c, DacModule::chPlateauFirst)) + readReg(m, reg(c, DacModule::chPlateauLast))) / 2);
    }
}

TEST(DacModule, ChannelWithoutPulsesHasNoPlateauAndKeepsItsThreshold)
{
    ComparatorModel model({{}, {0, 0.5, 0.02, 0.01, 1e6}, {1e4, 0.5, 0.02, 0.01, 1e6}, {1e4, 0.5, 0.02, 0.01, 1e6}});
    DacModule m(config(4), model.wiring(), 0);
    m.write(reg(1, DacModule::chCode), 1234, 0);
    m.write(reg(3, DacModule::chStatus), DacModule::statusOutput, 0); // input off: nothing to count
    m.write(DacModule::regMaskLow, 0b1110, 0);
    m.write(DacModule::regSweepSteps, 60, 0);
    m.write(DacModule::regGateUs, 20000, 0);
    std::int64_t now = 0;
    m.write(DacModule::regTuneControl, DacModule::tuneStart, now);
    EXPECT_EQ(runTuning(m, now, 5000 * ms), 60 * 20 * ms);
    EXPECT_EQ(readReg(m, reg(1, DacModule::chTuneState)), DacModule::noPlateau);
    EXPECT_EQ(readReg(m, reg(1, DacModule::chCode)), 1234u);
    EXPECT_EQ(readReg(m, reg(2, DacModule::chTuneState)), DacModule::done);
    EXPECT_EQ(readReg(m, reg(3, DacModule::chTuneState)), DacModule::noPlateau);
    EXPECT_EQ(readReg(m, reg(0, DacModule::chTuneState)), DacModule::neverTuned) << "not in the mask";
}

TEST(DacModule, AbortRestoresUnfinishedChannelsAndAStartDuringARunIsIgnored)
{
    ComparatorModel model({{}, {1e4, 0.5, 0.02, 0.01, 1e6}, {1e4, 0.5, 0.02, 0.01, 1e6}});
    DacModule m(config(3), model.wiring(), 0);
    const std::uint32_t before = readReg(m, reg(1, DacModule::chCode));
    m.write(DacModule::regMaskLow, 0b110, 0);
    std::int64_t now = 0;
    m.write(DacModule::regTuneControl, DacModule::tuneStart, now);
    Outbox out;
    for (int i = 0; i < 30; ++i)
        m.service(now += 40 * ms, out);
    EXPECT_NE(readReg(m, reg(1, DacModule::chCode)), before) << "the sweep has moved the threshold";
    m.write(DacModule::regMaskLow, 0b001, now);
    m.write(DacModule::regTuneControl, DacModule::tuneStart, now);
    EXPECT_EQ(readReg(m, reg(0, DacModule::chTuneState)), DacModule::neverTuned);

    m.write(DacModule::regTuneControl, DacModule::tuneAbort, now);
    EXPECT_EQ(readReg(m, DacModule::regTuneControl), 0u);
    EXPECT_EQ(readReg(m, reg(1, DacModule::chTuneState)), DacModule::aborted);
    EXPECT_EQ(readReg(m, reg(2, DacModule::chTuneState)), DacModule::aborted);
    EXPECT_EQ(readReg(m, reg(1, DacModule::chCode)), before);
    EXPECT_NEAR(model.volts[1], m.volts(before), 1e-12);
    EXPECT_EQ(m.nextDue(), kestrane::never);
    EXPECT_EQ(model.releases, 1);
}

TEST(DacModule, AHostThatLeavesAbortsTheRun)
{
    ComparatorModel model({{}, {1e4, 0.5, 0.02, 0.01, 1e6}});
    DacModule m(config(2), model.wiring(), 0);
    m.write(DacModule::regMaskLow, 0b10, 0);
    m.write(DacModule::regTuneControl, DacModule::tuneStart, 0);
    m.hostDetached();
    EXPECT_EQ(readReg(m, DacModule::regTuneControl), 0u);
    EXPECT_EQ(readReg(m, reg(1, DacModule::chTuneState)), DacModule::aborted);
}
