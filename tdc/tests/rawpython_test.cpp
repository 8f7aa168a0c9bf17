// The Python reader (tools/tessaron_raw.py, on Debian's Python with numpy) reads what the
// writer wrote, tag for tag, across a split series, and refuses damaged files the same way.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include "tdc/dorrin.h"

namespace {

const char *python = "/usr/bin/python3";

struct Run {
    int status = -1;
    std::string out;
};

Run runPython(const std::string &script)
{
    char name[] = "/tmp/tdc-py-XXXXXX";
    const int fd = ::mkstemp(name);
    (void)!::write(fd, script.data(), script.size());
    ::close(fd);
    Run r;
    const std::string cmd = std::string("PYTHONPATH=") + TESSARON_TOOLS_DIR + " " + python + " " + name + " 2>&1";
    if (FILE *p = ::popen(cmd.c_str(), "r")) {
        std::array<char, 65536> buf;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
            r.out.append(buf.data(), n);
        r.status = ::pclose(p);
    }
    ::unlink(name);
    return r;
}

bool pythonUsable() { return ::access(python, X_OK) == 0 && runPython("import numpy\n").status == 0; }

} // namespace

TEST(RawPython, ReadsASplitSeriesTagForTag)
{
    if (!pythonUsable())
        GTEST_SKIP() << "Debian's python3 with numpy is not installed";
    char dirName[] = "/tmp/tdc-pyraw-XXXXXX";
    const std::string dir = ::mkdtemp(dirName);
    std::mt19937_64 rng(9);
    std::vector<Dorrin::measurement> tags(150'000);
    std::uint64_t t = 1ull << 40;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        // mostly short gaps, now and then one that needs the escape
        t += i % 5000 == 4999 ? (1ull << 45) : rng() % 40'000;
        tags[i] = {static_cast<std::uint8_t>(rng() % 9), static_cast<std::uint8_t>(1 + rng() % 2), t};
    }
    std::vector<std::string> files;
    {
        Dorrin::file_writer w(dir + "/s{:d}.bin", Dorrin::file_writer::binary, false,
                              Dorrin::file_writer::description{}, 0, 150'000, std::chrono::seconds(0), {});
        w.write(tags.data(), 100'000);
        w.mark({3, 42, 7});
        w.write(tags.data() + 100'000, 50'000);
        w.flush();
        files = w.files();
    }
    ASSERT_GT(files.size(), 2u);
    std::string list;
    for (const auto &f : files)
        list += "'" + f + "',";
    const auto r = runPython("import sys, tessaron_raw as tr\n"
                             "m = []\n"
                             "a = tr.read_series([" + list + "], m)\n"
                             "out = sys.stdout\n"
                             "out.write('%d\\n' % len(a))\n"
                             "out.write('%r\\n' % m)\n"
                             "for c, e, t in a[::997]: out.write('%d,%d,%d\\n' % (c, e, t))\n"
                             "out.write('%d,%d,%d\\n' % tuple(a[-1].tolist()))\n");
    ASSERT_EQ(r.status, 0) << r.out;
    std::ostringstream want;
    want << tags.size() << "\n[(3, 42, 7)]\n";
    for (std::size_t i = 0; i < tags.size(); i += 997)
        want << int(tags[i].channel) << "," << int(tags[i].edge) << "," << tags[i].tag << "\n";
    want << int(tags.back().channel) << "," << int(tags.back().edge) << "," << tags.back().tag << "\n";
    EXPECT_EQ(r.out, want.str());

    // read-raw prints the same series as CSV; the Python reader's rows are the same text.
    std::string cliList;
    for (const auto &f : files)
        cliList += " " + f;
    std::string cliOut;
    if (FILE *p = ::popen((std::string(TDC_CLI) + " read-raw" + cliList + " 2>&1").c_str(), "r")) {
        std::array<char, 65536> buf;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
            cliOut.append(buf.data(), n);
        EXPECT_EQ(::pclose(p), 0) << cliOut.substr(0, 500);
    }
    const auto py = runPython("import sys, tessaron_raw as tr\n"
                              "m = []\n"
                              "a = tr.read_series([" + list + "], m)\n"
                              "rows = ['%d,%d,%d\\n' % r for r in a.tolist()]\n"
                              "rows.insert(100000, ''.join('#lost,%d,%d,%d\\n' % x for x in m))\n"
                              "sys.stdout.write('channel,edge,tag\\n' + ''.join(rows))\n");
    ASSERT_EQ(py.status, 0) << py.out.substr(0, 500);
    EXPECT_EQ(cliOut.size(), py.out.size());
    EXPECT_TRUE(cliOut == py.out) << "read-raw and the Python reader disagree";

    // A flipped bit in the second block of the first file raises, naming that block.
    std::string bytes;
    {
        std::ifstream in(files[0], std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        bytes = s.str();
    }
    bytes[bytes.size() - 100] ^= 0x20;
    std::ofstream(dir + "/bad.bin", std::ios::binary) << bytes;
    const auto bad = runPython("import tessaron_raw as tr\n"
                               "try:\n"
                               "    tr.read_series('" + dir + "/bad.bin')\n"
                               "except tr.RawFileError as e:\n"
                               "    print(e)\n");
    EXPECT_EQ(bad.status, 0) << bad.out;
    EXPECT_NE(bad.out.find("bad.bin: block "), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("fails its CRC"), std::string::npos) << bad.out;

    std::ofstream(dir + "/notraw.bin") << "channel,edge,tag\n1,1,5\n";
    const auto notRaw = runPython("import tessaron_raw as tr\n"
                                  "try:\n"
                                  "    tr.read_series('" + dir + "/notraw.bin')\n"
                                  "except tr.RawFileError as e:\n"
                                  "    print(e)\n");
    EXPECT_NE(notRaw.out.find("wrong magic"), std::string::npos) << notRaw.out;
    std::system(("rm -rf " + dir).c_str());
}
