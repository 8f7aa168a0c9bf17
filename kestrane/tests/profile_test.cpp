#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "kestrane/profile.h"

using kestrane::Profile;

TEST(Profile, DefaultIsCompleteAndConsistent)
{
    const Profile p = kestrane::defaultProfile();
    EXPECT_EQ(p.inputs, 8u);
    EXPECT_EQ(p.channels(), 9u);
    ASSERT_EQ(p.rates.size(), 8u);
    ASSERT_EQ(p.shapes.size(), 8u);
    EXPECT_EQ(p.coarseBits, 8u);
    EXPECT_EQ(p.fineBits, 16u);
    EXPECT_DOUBLE_EQ(p.tdcPeriod, 2.5e-9);
    EXPECT_DOUBLE_EQ(p.minBinWidth, 1e-12);
    EXPECT_FALSE(p.pairs.empty());
    EXPECT_NEAR(p.inputRate(0), 1.0 / 277.777777e-6, 1e-3);
    EXPECT_EQ(p.histogrammers, 4u);
    EXPECT_EQ(p.histogramBins, 65536u);
    EXPECT_TRUE(p.legacyHistogrammer);
    EXPECT_EQ(p.tagFifo, 1u << 20);
    EXPECT_DOUBLE_EQ(p.tagLinkRate, 400e6);
    EXPECT_TRUE(p.replay.empty());
    EXPECT_EQ(p.replayPacing, kestrane::ReplayPacing::wall);
    EXPECT_FALSE(p.periodic);
    // The DAC reaches from below the noise to above every pulse, and the power-up threshold
    // sits between the noise and the pulses.
    for (std::uint32_t c = 1; c <= p.inputs; ++c) {
        const auto &s = p.shape(c);
        EXPECT_LE(p.dacMin, 0.0);
        EXPECT_GT(p.dacMax, s.heightMean + 5 * s.heightSigma);
        EXPECT_GT(s.threshold, 5 * s.noiseSigma);
        EXPECT_LT(s.threshold, s.heightMean - 5 * s.heightSigma);
    }
}

TEST(Profile, RatesIncludeCorrelatedEventsAndDeadTime)
{
    Profile p;
    std::string error;
    ASSERT_TRUE(kestrane::parseProfile(
        R"({"inputs": 2, "syncPeriod": 0, "rates": [1000, 500],
            "pairs": [{"from": 1, "to": 2, "delay": 1e-8, "jitter": 0, "fraction": 0.25}],
            "deadTime": 1e-4})",
        p, error))
        << error;
    EXPECT_DOUBLE_EQ(p.inputRate(0), 0.0);
    EXPECT_DOUBLE_EQ(p.inputRate(1), 1000.0);
    EXPECT_DOUBLE_EQ(p.inputRate(2), 750.0);
    EXPECT_NEAR(p.processedRate(1), 1000.0 / 1.1, 1e-9);
}

TEST(Profile, OmittedRatesDefaultPerInput)
{
    Profile p;
    std::string error;
    ASSERT_TRUE(kestrane::parseProfile(R"({"inputs": 3})", p, error)) << error;
    EXPECT_EQ(p.rates.size(), 3u);
    EXPECT_EQ(p.shapes.size(), 3u);
}

TEST(Profile, PerInputKeysTakeOneValueOrOnePerInputInAnyOrder)
{
    Profile p;
    std::string error;
    // The per-input keys come before "inputs" on purpose.
    ASSERT_TRUE(kestrane::parseProfile(
        R"({"pulseWidth": [1e-9, 2e-9, 3e-9],
            "pulseHeight": {"mean": 0.3, "sigma": 0.01},
            "noise": [{"sigma": 0.02}, {"f0": 5e5}, {"sigma": 0, "f0": 0}],
            "threshold": [0.1, 0.15, 0.2],
            "inputs": 3, "periodic": true,
            "histogrammers": 2, "histogramBins": 1024, "legacyHistogrammer": false,
            "dacRange": [0, 0.5], "dacBits": 10, "tagFifo": 4096, "tagLinkRate": 1e8,
            "replay": ["/data/a.bin", "/data/b.bin"], "replayPacing": "fast"})",
        p, error))
        << error;
    EXPECT_DOUBLE_EQ(p.shape(2).pulseWidth, 2e-9);
    EXPECT_DOUBLE_EQ(p.shape(3).heightMean, 0.3);
    EXPECT_DOUBLE_EQ(p.shape(1).heightSigma, 0.01);
    EXPECT_DOUBLE_EQ(p.shape(1).noiseSigma, 0.02);
    EXPECT_DOUBLE_EQ(p.shape(1).noiseRate, 1e6) << "an omitted member keeps its default";
    EXPECT_DOUBLE_EQ(p.shape(2).noiseRate, 5e5);
    EXPECT_DOUBLE_EQ(p.shape(3).noiseSigma, 0.0);
    EXPECT_DOUBLE_EQ(p.shape(3).threshold, 0.2);
    EXPECT_TRUE(p.periodic);
    EXPECT_EQ(p.histogrammers, 2u);
    EXPECT_EQ(p.histogramBins, 1024u);
    EXPECT_FALSE(p.legacyHistogrammer);
    EXPECT_DOUBLE_EQ(p.dacMin, 0.0);
    EXPECT_DOUBLE_EQ(p.dacMax, 0.5);
    EXPECT_EQ(p.dacBits, 10u);
    EXPECT_EQ(p.tagFifo, 4096u);
    EXPECT_DOUBLE_EQ(p.tagLinkRate, 1e8);
    ASSERT_EQ(p.replay.size(), 2u);
    EXPECT_EQ(p.replay[1], "/data/b.bin");
    EXPECT_EQ(p.replayPacing, kestrane::ReplayPacing::fast);
}

TEST(Profile, BadProfilesAreRefusedWithAReason)
{
    struct Case {
        const char *json;
        const char *mentions;
    };
    const Case cases[] = {
        {R"({"inputs": 8, "rate": []})", "unknown key \"rate\""},
        {R"({"inputs": 2, "rates": [1, 2, 3]})", "3 rates for 2 inputs"},
        {R"({"inputs": 0})", "\"inputs\""},
        {R"({"inputs": 2.5})", "whole number"},
        {R"({"inputs": "8"})", "must be a number"},
        {R"({"rates": [-1, 0, 0, 0, 0, 0, 0, 0]})", "rates[0]"},
        {R"({"inputs": 2, "rates": [1, 1], "pairs": [{"from": 1, "to": 5}]})", "above 2"},
        {R"({"pairs": [{"from": 1}]})", "needs \"from\" and \"to\""},
        {R"({"pairs": [{"from": 2, "to": 2}]})", "itself"},
        {R"({"pairs": [{"from": 1, "to": 2, "lag": 1}]})", "unknown key \"lag\" in \"pairs[0]\""},
        {R"({"syncPeriod": 1e-12})", "syncPeriod"},
        {R"([1, 2])", "must be a JSON object"},
        {"{\"inputs\": 8,\n \"seed\": }", "line 2"},
        {R"({"inputs": 8} trailing)", "not valid JSON"},
        {R"({"a": 1, "a": 2})", "\"a\" appears twice"},
        {"", "not valid JSON"},
        {"1e999", "not valid JSON"},
        {"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]", "too deep"},
        {R"({"pulseWidth": [1e-9, 2e-9]})", "\"pulseWidth\" lists 2 values for 8 inputs"},
        {R"({"pulseWidth": 0})", "\"pulseWidth\" must lie between"},
        {R"({"pulseHeight": {"mean": 0.5, "sd": 1}})", "unknown key \"sd\" in \"pulseHeight\""},
        {R"({"inputs": 2, "noise": [{"sigma": 0.01}, {"sigma": -1}]})", "noise[1].sigma"},
        {R"({"noise": 0.01})", "\"noise\" must be an object"},
        {R"({"periodic": 1})", "\"periodic\" must be true or false"},
        {R"({"histogramBins": 1000})", "\"histogramBins\" must lie between"},
        {R"({"histogramBins": 3000})", "power of two, not 3000"},
        {R"({"histogrammers": 17})", "\"histogrammers\""},
        {R"({"dacRange": [0.5]})", "\"dacRange\" must be an array of two"},
        {R"({"dacRange": [1, 0]})", "from a lower to a higher"},
        {R"({"dacRange": [0.05, 1]})", "baseline noise"},
        {R"({"dacRange": [-0.2, 0.6]})", "reach above the pulses of input 1"},
        {R"({"threshold": 2})", "\"threshold\" of input 1 (2 V) lies outside"},
        {R"({"dacBits": 0})", "\"dacBits\""},
        {R"({"tagFifo": 0})", "\"tagFifo\""},
        {R"({"tagLinkRate": "fast"})", "\"tagLinkRate\" must be a number"},
        {R"({"replay": "a.bin"})", "\"replay\" must be an array of file paths"},
        {R"({"replay": ["a.bin", ""]})", "\"replay[1]\" is an empty path"},
        {R"({"replay": [3]})", "\"replay[0]\" must be a text"},
        {R"({"replayPacing": "slow"})", "\"wall\" or \"fast\", not \"slow\""},
    };
    for (const auto &c : cases) {
        Profile p;
        p.inputs = 42;
        std::string error;
        EXPECT_FALSE(kestrane::parseProfile(c.json, p, error)) << c.json;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.json << " -> " << error;
        EXPECT_EQ(p.inputs, 42u) << "a refused profile must leave the output alone";
    }
}

TEST(Profile, LoadReportsMissingFilesAndNamesThePath)
{
    Profile p;
    std::string error;
    EXPECT_FALSE(kestrane::loadProfile("/nonexistent/profile.json", p, error));
    EXPECT_NE(error.find("/nonexistent/profile.json"), std::string::npos);

    const std::string path = ::testing::TempDir() + "kestrane_profile_test.json";
    {
        std::ofstream out(path);
        out << R"({"inputs": 2, "rates": [10, 20], "seed": 7})";
    }
    ASSERT_TRUE(kestrane::loadProfile(path, p, error)) << error;
    EXPECT_EQ(p.seed, 7u);
    EXPECT_EQ(p.rates[1], 20.0);
    {
        std::ofstream out(path);
        out << R"({"inputs": 2, "rates": [10, 20)";
    }
    EXPECT_FALSE(kestrane::loadProfile(path, p, error));
    EXPECT_NE(error.find(path), std::string::npos);
    std::remove(path.c_str());
}

TEST(Profile, TextsAreReadAsUtf8)
{
    Profile p;
    std::string error;
    ASSERT_TRUE(kestrane::parseProfile(R"({"replay": ["/d/caf\u00e9 \ud83d\ude00.bin"]})", p, error)) << error;
    ASSERT_EQ(p.replay.size(), 1u);
    EXPECT_EQ(p.replay[0], "/d/caf\xC3\xA9 \xF0\x9F\x98\x80.bin");
    EXPECT_FALSE(kestrane::parseProfile("{\"replay\": [\"\\ud800\"]}", p, error));
}
