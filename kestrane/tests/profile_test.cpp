#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "kestrane/profile.h"
#include "profile/json.h"

using kestrane::Profile;

TEST(Profile, DefaultIsCompleteAndConsistent)
{
    const Profile p = kestrane::defaultProfile();
    EXPECT_EQ(p.inputs, 8u);
    EXPECT_EQ(p.channels(), 9u);
    ASSERT_EQ(p.rates.size(), 8u);
    EXPECT_EQ(p.coarseBits, 8u);
    EXPECT_EQ(p.fineBits, 16u);
    EXPECT_DOUBLE_EQ(p.tdcPeriod, 2.5e-9);
    EXPECT_DOUBLE_EQ(p.minBinWidth, 1e-12);
    EXPECT_FALSE(p.pairs.empty());
    EXPECT_NEAR(p.inputRate(0), 1.0 / 277.777777e-6, 1e-3);
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
        {R"({"syncPeriod": 1e-12})", "syncPeriod"},
        {R"([1, 2])", "must be a JSON object"},
        {"{\"inputs\": 8,\n \"seed\": }", "line 2"},
        {R"({"inputs": 8} trailing)", "after the end"},
        {R"({"a": 1, "a": 2})", "twice"},
        {"", "end of the document"},
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

TEST(Json, TextsEscapesAndNesting)
{
    kestrane::json::Value v;
    std::string error;
    ASSERT_TRUE(kestrane::json::parse(R"({"s": "a\"b\\c\u00e9\ud83d\ude00", "n": [true, false, null, -1.5e2]})",
                                      v, error))
        << error;
    ASSERT_EQ(v.object.size(), 2u);
    EXPECT_EQ(v.object[0].second.string, "a\"b\\c\xC3\xA9\xF0\x9F\x98\x80");
    ASSERT_EQ(v.object[1].second.array.size(), 4u);
    EXPECT_EQ(v.object[1].second.array[3].number, -150.0);

    EXPECT_FALSE(kestrane::json::parse(std::string(1000, '['), v, error));
    EXPECT_NE(error.find("too deep"), std::string::npos);
    EXPECT_FALSE(kestrane::json::parse("\"\\ud800\"", v, error));
    EXPECT_FALSE(kestrane::json::parse("1e999", v, error));
}
