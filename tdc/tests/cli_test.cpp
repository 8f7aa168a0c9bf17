// tdc-cli as scripts use it: a separate process, JSON on standard output, exit codes.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

#include "../../kestrane/src/profile/json.h"
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

std::vector<kestrane::json::Value> lines(const std::string &out)
{
    std::vector<kestrane::json::Value> values;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end - start);
        start = end == std::string::npos ? out.size() : end + 1;
        kestrane::json::Value v;
        std::string error;
        EXPECT_TRUE(kestrane::json::parse(line, v, error)) << error << ": " << line;
        values.push_back(v);
    }
    return values;
}

const kestrane::json::Value *member(const kestrane::json::Value &v, const std::string &key)
{
    for (const auto &kv : v.object)
        if (kv.first == key)
            return &kv.second;
    return nullptr;
}

} // namespace

TEST(Cli, ListsVirtualBoardsOnlyWhenAskedFor)
{
    auto r = run("TESSARON_VIRTUAL_BOARDS=2", "list");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto boards = lines(r.out);
    ASSERT_EQ(boards.size(), 2u) << r.out;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(member(boards[i], "class")->string, "D3XX");
        EXPECT_EQ(member(boards[i], "numCH")->string, "9");
        EXPECT_EQ(member(boards[i], "serialNumber")->string, "KEST-VIRTUAL-" + std::to_string(i));
        EXPECT_NE(member(boards[i], "description")->string.find("virtual"), std::string::npos);
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
    EXPECT_EQ(member(*firmware, "tag")->string.rfind("Kestrane virtual;", 0), 0u);
    EXPECT_GT(member(*firmware, "compileTime")->number, 0);
    EXPECT_EQ(member(doc[0], "channels")->number, 9);
    EXPECT_EQ(member(doc[0], "coarseBits")->number, 8);
    EXPECT_EQ(member(doc[0], "fineBits")->number, 16);
    EXPECT_DOUBLE_EQ(member(doc[0], "tdcPeriod")->number, 2.5e-9);
    EXPECT_DOUBLE_EQ(member(doc[0], "minBinWidth")->number, 1e-12);
    const auto *modules = member(doc[0], "modules");
    ASSERT_TRUE(modules);
    ASSERT_EQ(modules->array.size(), 4u);
    for (const auto &m : modules->array) {
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
        EXPECT_DOUBLE_EQ(member(s, "integrationTime")->number, 0.05);
        const auto *rates = member(s, "rates");
        ASSERT_TRUE(rates);
        ASSERT_EQ(rates->array.size(), 9u);
        EXPECT_NEAR(rates->array[0].number, 3600, 3600 * 0.05) << "sync first";
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
