// The raw writer's disk thread: chunks reach their files in order, counted written or lost,
// a failure stops all later writing (a file must not go on past a hole), and files close
// only after their last chunk.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "writebehind.h"

namespace {

struct Disk {
    std::atomic<std::uint64_t> bytes{0}, tags{0}, lost{0};
    std::mutex mutex;
    std::vector<std::error_code> failures;
    WriteBehind disk{3, 64, WriteBehind::Counters{bytes, tags, lost}, [this](std::error_code ec, const std::string &) {
                         std::lock_guard<std::mutex> lock(mutex);
                         failures.push_back(ec);
                     }};

    void post(int fd, const std::string &text, std::uint64_t tagCount)
    {
        auto chunk = disk.take(text.size());
        std::memcpy(chunk.data(), text.data(), text.size());
        chunk.size = text.size();
        chunk.tags = tagCount;
        disk.post(std::move(chunk), fd, std::make_shared<const std::string>("test file"), false);
    }
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TempFile {
    std::string path;
    int fd = -1;
    TempFile()
    {
        char name[] = "/tmp/tdc-writebehind-XXXXXX";
        fd = ::mkstemp(name);
        path = name;
    }
    ~TempFile() { ::unlink(path.c_str()); }
};

} // namespace

TEST(WriteBehind, ChunksArriveInOrderAcrossFilesAndCloseAfterTheirLast)
{
    TempFile a, b;
    Disk d;
    // More chunks than circulate: take() must wait for the disk and hand them back.
    for (int i = 0; i < 10; ++i)
        d.post(a.fd, "a" + std::to_string(i) + ";", 1);
    d.disk.postClose(a.fd);
    d.post(b.fd, "b0;", 2);
    d.disk.drain();
    EXPECT_EQ(slurp(a.path), "a0;a1;a2;a3;a4;a5;a6;a7;a8;a9;");
    EXPECT_EQ(slurp(b.path), "b0;");
    EXPECT_EQ(d.tags.load(), 12u);
    EXPECT_EQ(d.bytes.load(), 33u);
    EXPECT_EQ(d.lost.load(), 0u);
    EXPECT_EQ(::fcntl(a.fd, F_GETFD), -1) << "closed once its chunks were written";
    EXPECT_NE(::fcntl(b.fd, F_GETFD), -1);
    ::close(b.fd);
}

TEST(WriteBehind, NothingIsWrittenAfterAFailure)
{
    TempFile good;
    const int refuses = ::open("/dev/null", O_RDONLY | O_CLOEXEC); // write(2) fails with EBADF
    ASSERT_GE(refuses, 0);
    Disk d;
    d.post(good.fd, "before;", 10);
    d.post(refuses, "refused;", 5);
    d.post(good.fd, "after;", 7); // the disk would take it, but the stream has a hole now
    d.disk.drain();
    EXPECT_TRUE(d.disk.failed());
    EXPECT_EQ(slurp(good.path), "before;");
    EXPECT_EQ(d.tags.load(), 10u);
    EXPECT_EQ(d.lost.load(), 12u);
    ASSERT_EQ(d.failures.size(), 1u) << "reported once";
    EXPECT_EQ(d.failures[0], std::errc::bad_file_descriptor);
    ::close(refuses);
    ::close(good.fd);
}
