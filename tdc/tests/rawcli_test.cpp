// tdc-cli record and read-raw as scripts use them, and the Python reader agreeing with
// read-raw on the same series.

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

using namespace std::chrono_literals;

namespace {

struct Run {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Run run(const std::string &cmdline)
{
    char errName[] = "/tmp/tdc-rawcli-err-XXXXXX";
    ::close(::mkstemp(errName));
    const std::string cmd = "env -u TESSARON_BOARD_PROFILE TESSARON_VIRTUAL_BOARDS=1 " + cmdline + " 2>" + errName;
    Run r;
    if (FILE *p = ::popen(cmd.c_str(), "r")) {
        std::array<char, 65536> buf;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
            r.out.append(buf.data(), n);
        const int status = ::pclose(p);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    r.err = slurp(errName);
    ::unlink(errName);
    return r;
}

class RawCli : public ::testing::Test {
protected:
    RawCli()
    {
        char name[] = "/tmp/tdc-rawcli-XXXXXX";
        dir = ::mkdtemp(name);
    }
    ~RawCli() override { std::system(("rm -rf " + dir).c_str()); }
    std::string dir;
};

std::string joined(const nlohmann::json &files)
{
    std::string s;
    for (const auto &f : files)
        s += " " + f.get<std::string>();
    return s;
}

} // namespace

TEST_F(RawCli, RecordThenReadBackThreeWays)
{
    const auto rec = run(std::string(TDC_CLI) + " record --channels 0r,1r,2f,3b --time 0.5 --format bin --split-size 30000 " +
                         dir + "/r{:d}.bin");
    ASSERT_EQ(rec.exitCode, 0) << rec.err << rec.out;
    const auto doc = nlohmann::json::parse(rec.out);
    const auto captured = doc.at("captured").get<std::uint64_t>();
    EXPECT_GT(captured, 1000u);
    EXPECT_EQ(doc.at("lost").get<std::uint64_t>(), 0u);
    EXPECT_EQ(doc.at("written").get<std::uint64_t>(), captured);
    const auto &files = doc.at("files");
    ASSERT_GE(files.size(), 2u);
    EXPECT_EQ(files[0].get<std::string>(), dir + "/r0.bin");

    const auto check = run(std::string(TDC_CLI) + " read-raw --check" + joined(files));
    ASSERT_EQ(check.exitCode, 0) << check.err;
    std::uint64_t tags = 0;
    std::istringstream lines(check.out);
    for (std::string line; std::getline(lines, line);) {
        const auto j = nlohmann::json::parse(line);
        EXPECT_TRUE(j.at("ok").get<bool>()) << line;
        EXPECT_EQ(j.at("lost").get<std::uint64_t>(), 0u);
        EXPECT_GE(j.at("blocks").get<std::uint64_t>(), 1u);
        tags += j.at("tags").get<std::uint64_t>();
    }
    EXPECT_EQ(tags, captured);

    const auto csv = run(std::string(TDC_CLI) + " read-raw" + joined(files));
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    ASSERT_EQ(csv.out.rfind("channel,edge,tag\n", 0), 0u);
    EXPECT_EQ(static_cast<std::uint64_t>(std::count(csv.out.begin(), csv.out.end(), '\n')), captured + 1);

    if (::access("/usr/bin/python3", X_OK) != 0)
        GTEST_SKIP() << "no Debian python3";
    std::string list;
    for (const auto &f : files)
        list += "'" + f.get<std::string>() + "',";
    std::ofstream(dir + "/print.py") << "import sys, tessaron_raw as tr\n"
                                        "a = tr.read_series([" + list + "])\n"
                                        "sys.stdout.write('channel,edge,tag\\n')\n"
                                        "sys.stdout.write(''.join('%d,%d,%d\\n' % r for r in a.tolist()))\n";
    const auto py = run(std::string("PYTHONPATH=") + TESSARON_TOOLS_DIR + " /usr/bin/python3 " + dir + "/print.py");
    ASSERT_EQ(py.exitCode, 0) << py.err;
    EXPECT_TRUE(py.out == csv.out) << "the Python reader and read-raw disagree";
}

TEST_F(RawCli, ReadRawNamesTheDamageAndKeepsWhatCameBefore)
{
    const auto rec = run(std::string(TDC_CLI) +  " record --channels 8r --tags 5000 --format bin " + dir + "/d.bin");
    ASSERT_EQ(rec.exitCode, 0) << rec.err;
    EXPECT_EQ(nlohmann::json::parse(rec.out).at("written").get<std::uint64_t>(), 5000u);
    auto bytes = slurp(dir + "/d.bin");
    bytes.resize(bytes.size() - 3);
    std::ofstream(dir + "/cut.bin", std::ios::binary) << bytes;
    const auto r = run(std::string(TDC_CLI) + " read-raw " + dir + "/cut.bin");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cut.bin: block "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" at byte "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cut short"), std::string::npos) << r.err;
    const auto c = run(std::string(TDC_CLI) + " read-raw --check " + dir + "/cut.bin " + dir + "/d.bin");
    EXPECT_EQ(c.exitCode, 1);
    EXPECT_NE(c.out.find("\"ok\":false"), std::string::npos) << c.out;
    EXPECT_NE(c.out.find("\"tags\":5000"), std::string::npos) << c.out;
}

TEST_F(RawCli, RecordRefusesBadArguments)
{
    for (const char *args : {"--channels 1x --time 1 --format bin", "--channels 1r --format bin",
                             "--channels 1r --time 1 --tags 5 --format bin", "--channels 1r --time 1 --format txt",
                             "--channels 99r --time 1 --format bin"}) {
        const auto r = run(std::string(TDC_CLI) + " record " + args + " " + dir + "/x.bin");
        EXPECT_EQ(r.exitCode, 2) << args << ": " << r.err;
        EXPECT_FALSE(r.err.empty()) << args;
    }
}

TEST_F(RawCli, CtrlCEndsARecordingWithTheFileClosed)
{
    const std::string out = dir + "/out.json";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("TESSARON_VIRTUAL_BOARDS", "1", 1);
        ::unsetenv("TESSARON_BOARD_PROFILE");
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        const std::string path = dir + "/c.csv";
        ::execl(TDC_CLI, TDC_CLI, "record", "--channels", "1r", "--time", "60", "--format", "csv", path.c_str(),
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(1500ms);
    ::kill(pid, SIGINT);
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(50ms);
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "record did not end on SIGINT";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const auto doc = nlohmann::json::parse(slurp(out));
    const auto csv = slurp(dir + "/c.csv");
    EXPECT_EQ(static_cast<std::uint64_t>(std::count(csv.begin(), csv.end(), '\n')), doc.at("written").get<std::uint64_t>() + 1);
    EXPECT_GT(doc.at("written").get<std::uint64_t>(), 0u);
}

TEST(RawCliCsv, CheckCountsRowsAndMarkersAndNamesTheFirstBadLine)
{
    char name[] = "/tmp/tdc-rawcli-csv-XXXXXX";
    const std::string dir = ::mkdtemp(name);
    std::ofstream(dir + "/good.csv") << "channel,edge,tag\n1,1,10\n2,2,15\n#lost,3,7,20\n3,1,25\n";
    const auto good = run(std::string(TDC_CLI) + " read-raw --check " + dir + "/good.csv");
    ASSERT_EQ(good.exitCode, 0) << good.err;
    const auto g = nlohmann::json::parse(good.out);
    EXPECT_TRUE(g.at("ok").get<bool>());
    EXPECT_EQ(g.at("format").get<std::string>(), "csv");
    EXPECT_EQ(g.at("tags").get<std::uint64_t>(), 3u);
    EXPECT_EQ(g.at("markers").get<std::uint64_t>(), 1u);
    EXPECT_EQ(g.at("lost").get<std::uint64_t>(), 7u);

    // A row cut short by a killed writer, and an edge that does not exist.
    for (const std::string bad : {"1,1,10\n2,2\n3,1,4\n", "1,1,10\n2,3,15\n"}) {
        std::ofstream(dir + "/bad.csv") << "channel,edge,tag\n" << bad;
        const auto r = run(std::string(TDC_CLI) + " read-raw --check " + dir + "/bad.csv");
        EXPECT_EQ(r.exitCode, 1);
        const auto j = nlohmann::json::parse(r.out);
        EXPECT_FALSE(j.at("ok").get<bool>());
        EXPECT_EQ(j.at("tags").get<std::uint64_t>(), 1u);
        EXPECT_NE(j.at("error").get<std::string>().find("line 3"), std::string::npos) << j.dump();
    }
    std::remove((dir + "/good.csv").c_str());
    std::remove((dir + "/bad.csv").c_str());
    ::rmdir(dir.c_str());
}
