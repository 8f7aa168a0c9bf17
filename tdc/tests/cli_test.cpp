// tdc-cli as scripts use it: a separate process, JSON on standard output, exit codes.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "boards.h"

namespace {

struct Run {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Run run(const std::string &env, const std::string &args)
{
    const std::string errFile = "/tmp/tdc_cli_test_err_" + testboards::uniqueSerial("e");
    const std::string cmd = "env -u TESSARON_VIRTUAL_BOARDS -u TESSARON_BOARD_PROFILE " + env + " " + TDC_CLI +
                            " " + args + " 2>" + errFile;
    Run r;
    FILE *p = ::popen(cmd.c_str(), "r");
    if (!p)
        return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (FILE *e = std::fopen(errFile.c_str(), "r")) {
        while ((n = std::fread(buf.data(), 1, buf.size(), e)) > 0)
            r.err.append(buf.data(), n);
        std::fclose(e);
    }
    std::remove(errFile.c_str());
    return r;
}

using Json = nlohmann::json;

std::vector<Json> lines(const std::string &out)
{
    std::vector<Json> values;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end - start);
        start = end == std::string::npos ? out.size() : end + 1;
        try {
            values.push_back(Json::parse(line));
        } catch (const Json::parse_error &e) {
            ADD_FAILURE() << e.what() << ": " << line;
        }
    }
    return values;
}

const Json *member(const Json &v, const std::string &key)
{
    const auto it = v.find(key);
    return it == v.end() ? nullptr : &*it;
}

} // namespace

TEST(Cli, ListsVirtualBoardsOnlyWhenAskedFor)
{
    auto r = run("TESSARON_VIRTUAL_BOARDS=2", "list");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto boards = lines(r.out);
    ASSERT_EQ(boards.size(), 2u) << r.out;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(member(boards[i], "class")->get<std::string>(), "D3XX");
        EXPECT_EQ(member(boards[i], "numCH")->get<std::string>(), "9");
        EXPECT_EQ(member(boards[i], "serialNumber")->get<std::string>(), "KEST-VIRTUAL-" + std::to_string(i));
        EXPECT_NE(member(boards[i], "description")->get<std::string>().find("virtual"), std::string::npos);
    }

    r = run("", "list");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.find("KEST-VIRTUAL"), std::string::npos);

    r = run("TESSARON_VIRTUAL_BOARDS=many", "list");
    EXPECT_EQ(r.out.find("KEST-VIRTUAL"), std::string::npos);
    EXPECT_NE(r.err.find("TESSARON_VIRTUAL_BOARDS must be a number"), std::string::npos) << r.err;

    r = run("TESSARON_VIRTUAL_BOARDS=1 TESSARON_BOARD_PROFILE=/nonexistent.json", "list");
    EXPECT_EQ(r.out.find("KEST-VIRTUAL"), std::string::npos);
    EXPECT_NE(r.err.find("/nonexistent.json"), std::string::npos) << r.err;
}

TEST(Cli, InfoDescribesTheBoard)
{
    const auto r = run("TESSARON_VIRTUAL_BOARDS=1", "info");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto doc = lines(r.out);
    ASSERT_EQ(doc.size(), 1u);
    const auto *firmware = member(doc[0], "firmware");
    ASSERT_TRUE(firmware);
    EXPECT_EQ(member(*firmware, "tag")->get<std::string>().rfind("Kestrane virtual;", 0), 0u);
    EXPECT_GT(member(*firmware, "compileTime")->get<double>(), 0);
    EXPECT_EQ(member(doc[0], "channels")->get<double>(), 9);
    EXPECT_EQ(member(doc[0], "coarseBits")->get<double>(), 8);
    EXPECT_EQ(member(doc[0], "fineBits")->get<double>(), 16);
    EXPECT_DOUBLE_EQ(member(doc[0], "tdcPeriod")->get<double>(), 2.5e-9);
    EXPECT_DOUBLE_EQ(member(doc[0], "minBinWidth")->get<double>(), 1e-12);
    const auto *modules = member(doc[0], "modules");
    ASSERT_TRUE(modules);
    ASSERT_EQ(modules->size(), 11u) << "master, channels, two counters, the time tagger, four histogrammers, legacy histogrammer, DACs";
    for (const auto &m : *modules) {
        EXPECT_TRUE(member(m, "typeID"));
        EXPECT_TRUE(member(m, "hardwareVersion") && member(*member(m, "hardwareVersion"), "major"));
        EXPECT_TRUE(member(m, "softwareVersion") && member(*member(m, "softwareVersion"), "patch"));
    }
}

TEST(Cli, CountsPrintsOneSamplePerLine)
{
    const auto r = run("TESSARON_VIRTUAL_BOARDS=1", "counts --time 0.05 --samples 4");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto samples = lines(r.out);
    ASSERT_EQ(samples.size(), 4u);
    for (const auto &s : samples) {
        EXPECT_DOUBLE_EQ(member(s, "integrationTime")->get<double>(), 0.05);
        const auto *rates = member(s, "rates");
        ASSERT_TRUE(rates);
        ASSERT_EQ(rates->size(), 9u);
        EXPECT_NEAR((*rates)[0].get<double>(), 3600, 3600 * 0.05) << "sync first";
    }
}

TEST(Cli, WorksThroughKestraneEmu)
{
    testboards::EmuBoard emu;
    auto r = run("", "--device serial:" + emu.path() + " info");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Kestrane virtual;"), std::string::npos);
    r = run("", "--device serial:" + emu.path() + " counts --samples 2 --time 0.02");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(lines(r.out).size(), 2u);
}

TEST(Cli, ClearErrorsAndExitCodes)
{
    auto r = run("", "info");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no board found"), std::string::npos) << r.err;

    r = run("TESSARON_VIRTUAL_BOARDS=1", "--device 3 info");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("there is no board 3"), std::string::npos) << r.err;

    r = run("", "--device serial:/nonexistent/tty counts");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot open the board"), std::string::npos) << r.err;

    for (const char *bad : {"", "frobnicate", "--device", "--device x info", "counts --time 0",
                            "counts --samples -1", "counts --time abc", "list list"}) {
        r = run("", bad);
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find("usage: tdc-cli"), std::string::npos) << bad;
        EXPECT_TRUE(r.out.empty()) << bad;
    }
}

TEST(Cli, GlobalOptionsStandBeforeOrAfterTheCommandAndHelpSucceeds)
{
    auto r = run("TESSARON_VIRTUAL_BOARDS=2", "info --device 1");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ((*member(lines(r.out).at(0), "device"))["serialNumber"], "KEST-VIRTUAL-1");

    r = run("TESSARON_VIRTUAL_BOARDS=1", "info --device 4");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("there is no board 4"), std::string::npos) << r.err;

    for (const char *help : {"--help", "-h", "counts --help"}) {
        r = run("", help);
        EXPECT_EQ(r.exitCode, 0) << help;
        EXPECT_NE(r.out.find("usage: tdc-cli"), std::string::npos) << help;
        for (const char *command : {"list", "info", "counts"})
            EXPECT_NE(r.out.find(std::string("  ") + command + ": "), std::string::npos)
                << help << " should describe " << command;
    }
}

TEST(Cli, HistogramWritesEveryWindowAndThePeak)
{
    // Channel 1 every 10 µs, channel 2 12 ns after each: every count in the 12 ns bin.
    const std::string profile = "/tmp/tdc_cli_hist_profile_" + testboards::uniqueSerial("p") + ".json";
    const std::string out = "/tmp/tdc_cli_hist_" + testboards::uniqueSerial("o") + ".txt";
    {
        std::ofstream(profile) << R"({"inputs": 2, "syncPeriod": 0, "periodic": true, "rates": [100000, 0],
            "pulseWidth": 1e-9, "pulseHeight": {"mean": 0.5, "sigma": 0}, "histogramBins": 1024,
            "pairs": [{"from": 1, "to": 2, "delay": 12e-9, "jitter": 0, "fraction": 1}]})";
    }
    const std::string env = "TESSARON_VIRTUAL_BOARDS=1 TESSARON_BOARD_PROFILE=" + profile;
    auto r = run(env, "histogram --ref 1 --meas 2:r --left -5e-9 --right 45e-9 --bin 1e-9 --period 10 "
                      "--windows 3 --out " + out);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto summary = lines(r.out);
    ASSERT_EQ(summary.size(), 1u) << r.out;
    EXPECT_EQ(summary[0]["windows"], 3);
    EXPECT_EQ(summary[0]["bins"], 50);
    EXPECT_EQ(summary[0]["peakBin"], 17) << "12 ns after a left bound of -5 ns";
    EXPECT_EQ(summary[0]["peakCount"], 3000);
    EXPECT_EQ(summary[0]["total"], 3000);
    EXPECT_DOUBLE_EQ(summary[0]["peakValue"].get<double>(), -5e-9 + 18 * 1e-9);

    std::ifstream in(out);
    std::vector<std::string> text;
    for (std::string line; std::getline(in, line);)
        text.push_back(line);
    ASSERT_EQ(text.size(), 3u * (50 + 4)) << "three blocks of 50 bins";
    for (std::size_t b = 0; b < 3; ++b) {
        const std::size_t at = b * 54;
        EXPECT_EQ(text[at], "# ---------- Histogram 0 ---------- #");
        EXPECT_EQ(text[at + 1], "# Bin value [s], Counts");
        EXPECT_EQ(text[at + 2], "-4e-09,0") << "the first bin's value is left + 1 bin width";
        EXPECT_EQ(text[at + 2 + 17], "1.3e-08,1000");
        EXPECT_EQ(text[at + 2 + 49], "4.5e-08,0");
        EXPECT_EQ(text[at + 52], "# ---------------------------------------- #");
        EXPECT_EQ(text[at + 53], "");
    }

    // Without --out the blocks come first on standard output, the summary last.
    r = run(env, "histogram --ref 1 --meas 2 --left 0 --right 20e-9 --bin 1e-9 --period 5 --windows 1 --multihit");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("# ---------- Histogram 0 ---------- #\n# Bin value [s], Counts\n1e-09,0\n", 0), 0u) << r.out;

    for (const char *bad : {"histogram --ref 1 --meas 2 --left 0 --right 1e-8 --bin 1e-9 --period 10",
                            "histogram --ref 1:x --meas 2 --left 0 --right 1e-8 --bin 1e-9 --period 10 --windows 1",
                            "histogram --ref 1 --meas 2 --left 0 --right 1e-8 --bin 0 --period 10 --windows 1",
                            "histogram --ref 1 --meas 2 --left 0 --right 1e-8 --bin 1e-9 --period 10 --windows 0"}) {
        r = run(env, bad);
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find("usage: tdc-cli"), std::string::npos) << bad;
    }
    r = run(env, "histogram --ref 1 --meas 2 --left 1e-8 --right 0 --bin 1e-9 --period 10 --windows 1");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--left must lie below --right"), std::string::npos) << r.err;
    r = run(env, "histogram --ref 1 --meas 2 --left 0 --right 1e-8 --bin 1e-9 --period 10 --windows 1 --histogrammer 9");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("there is no histogrammer 9"), std::string::npos) << r.err;
    r = run(env, "histogram --ref 1 --meas 2 --left 0 --right 1e-8 --bin 1e-9 --period 10 --windows 1 --out /nonexistent/x.txt");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    std::remove(profile.c_str());
    std::remove(out.c_str());
}

TEST(Cli, ThresholdGetSetAndClampWithAWarning)
{
    testboards::EmuBoard emu;
    const std::string device = "--device serial:" + emu.path() + " ";
    auto r = run("", device + "threshold get 1");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto doc = lines(r.out).at(0);
    EXPECT_EQ(member(doc, "channel")->get<int>(), 1);
    EXPECT_NEAR(member(doc, "voltage")->get<double>(), 0.1, 1e-3) << "the profile's power-up threshold";
    EXPECT_DOUBLE_EQ(member(doc, "min")->get<double>(), -0.2);
    EXPECT_DOUBLE_EQ(member(doc, "max")->get<double>(), 1.0);
    EXPECT_FALSE(member(doc, "fixed")->get<bool>());

    r = run("", device + "threshold set 2 0.25");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const double applied = member(lines(r.out).at(0), "voltage")->get<double>();
    EXPECT_NEAR(applied, 0.25, 1.2 / 4095);
    r = run("", device + "threshold get 2");
    EXPECT_DOUBLE_EQ(member(lines(r.out).at(0), "voltage")->get<double>(), applied) << "the board kept it";

    r = run("", device + "threshold set 2 7.5");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_DOUBLE_EQ(member(lines(r.out).at(0), "voltage")->get<double>(), 1.0);
    EXPECT_NE(r.err.find("warning: 7.5 V is outside"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 V applied"), std::string::npos) << r.err;
    r = run("", device + "threshold set 3 -4");
    EXPECT_NE(r.err.find("-0.2 V applied"), std::string::npos) << r.err;

    r = run("", device + "threshold set 0 0.3");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("fixed threshold"), std::string::npos) << r.err;
    r = run("", device + "threshold get 9");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("there is no channel 9"), std::string::npos) << r.err;
    for (const char *bad : {"threshold set 1 abc", "threshold set 1", "threshold get 1 0.5", "threshold frob 1",
                            "threshold", "threshold get x"}) {
        r = run("", device + bad);
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_TRUE(r.out.empty()) << bad;
    }
}

TEST(Cli, AutotunePrintsEachPlateauAndTheVoltageSet)
{
    // Input 3 has no pulses: it has no plateau.
    testboards::EmuBoard emu(R"({"inputs": 3, "rates": [20000, 50000, 0], "seed": 4})");
    const std::string device = "--device serial:" + emu.path() + " ";
    auto r = run("", device + "autotune --steps 40 --gate 0.01 1 2 3");
    EXPECT_EQ(r.exitCode, 1) << "a channel without a plateau fails the command";
    const auto docs = lines(r.out);
    ASSERT_EQ(docs.size(), 3u) << r.out;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(member(docs[i], "channel")->get<int>(), i + 1);
        const auto *plateau = member(docs[i], "plateau");
        ASSERT_TRUE(plateau) << r.out;
        const double v = member(docs[i], "voltage")->get<double>();
        EXPECT_LE((*plateau)["from"].get<double>(), v);
        EXPECT_GE((*plateau)["to"].get<double>(), v);
        // Pulses of 0.5 ± 0.05 V over 10 mV of noise: the plateau's middle lies well between.
        EXPECT_GT(v, 0.06);
        EXPECT_LT(v, 0.38);
        EXPECT_NEAR((*plateau)["rate"].get<double>(), i == 0 ? 20000 : 50000, i == 0 ? 2000 : 5000);
    }
    EXPECT_EQ(member(docs[2], "error")->get<std::string>(), "No plateau found");
    EXPECT_NE(r.err.find("channel 3: No plateau found"), std::string::npos) << r.err;

    r = run("", device + "threshold get 1");
    EXPECT_DOUBLE_EQ(member(lines(r.out).at(0), "voltage")->get<double>(), member(docs[0], "voltage")->get<double>())
        << "the board keeps the tuned threshold";

    r = run("", device + "autotune 0");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(member(lines(r.out).at(0), "error")->get<std::string>(), "The channel's threshold is fixed");
    r = run("", device + "autotune 7");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("there is no channel 7"), std::string::npos) << r.err;
    r = run("", device + "autotune --steps 3");
    EXPECT_EQ(r.exitCode, 2);
}
