// The raw file writer and reader on disk: exact files from known tags, splits that lose and
// repeat nothing, the file limit, a disk that refuses writes, files cut at any byte and damage
// named by block and offset.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tdc/dorrin.h"
#include "tdc/rawreader.h"

using namespace std::chrono_literals;
using Writer = Dorrin::file_writer;
using tdcraw::rawError;

namespace {

class TempDir {
public:
    TempDir()
    {
        char name[] = "/tmp/tdc-raw-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempDir() { std::system(("rm -rf " + path_).c_str()); }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::uint64_t fileSize(const std::string &path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// A periodic stream, as a board with a sync channel and a periodic input would give it.
std::vector<Dorrin::measurement> periodic(std::size_t n, std::uint64_t start = 1000)
{
    std::vector<Dorrin::measurement> tags(n);
    for (std::size_t i = 0; i < n; ++i)
        tags[i] = {static_cast<std::uint8_t>(i % 3), static_cast<std::uint8_t>(1 + (i / 3) % 2),
                   start + i * 277'777};
    return tags;
}

struct Series {
    std::vector<Dorrin::measurement> tags;
    std::vector<Dorrin::loss> markers;
    std::error_code error;
    std::string errorText;
};

Series readSeries(const std::vector<std::string> &files)
{
    Series s;
    for (const auto &f : files) {
        tdcraw::Reader r;
        if ((s.error = r.open(f))) {
            s.errorText = r.errorText();
            return s;
        }
        for (bool end = false; !end;)
            if ((s.error = r.next(s.tags, s.markers, end))) {
                s.errorText = r.errorText();
                return s;
            }
    }
    return s;
}

void expectSame(const std::vector<Dorrin::measurement> &a, const std::vector<Dorrin::measurement> &b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ASSERT_TRUE(a[i].tag == b[i].tag && a[i].channel == b[i].channel && a[i].edge == b[i].edge) << "tag " << i;
}

struct FakeClock {
    std::shared_ptr<std::atomic<std::int64_t>> now = std::make_shared<std::atomic<std::int64_t>>(0);
    Writer::Clock clock() const
    {
        auto n = now;
        return [n] { return std::chrono::nanoseconds(n->load()); };
    }
    void advance(std::chrono::nanoseconds d) { now->fetch_add(d.count()); }
};

// A file size limit for the whole process while it lives: writes beyond it fail with EFBIG
// (and raise SIGXFSZ, which the writer must survive on its own).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit small = saved_;
        small.rlim_cur = bytes;
        set_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool set() const { return set_; }

private:
    rlimit saved_{};
    bool set_ = false;
};

} // namespace

TEST(RawWriter, BinaryFileFromKnownTagsReadsBackExactly)
{
    TempDir dir;
    const auto tags = periodic(200'000);
    Writer::description d{1e-12, 9, R"({"source":"test"})"};
    {
        Writer w(dir.file("run.bin"), Writer::binary, false, d, 1, 0, 0s, {});
        w.write(tags.data(), 70'000);
        w.mark({2, 5, 123});
        w.write(tags.data() + 70'000, tags.size() - 70'000);
        EXPECT_EQ(w.files(), std::vector<std::string>{dir.file("run.bin")});
        w.flush();
        EXPECT_EQ(w.bytes_written(), fileSize(dir.file("run.bin")));
        EXPECT_EQ(w.tags_written(), tags.size());
        EXPECT_EQ(w.lost_events(), 0u);
    }
    tdcraw::Reader r;
    ASSERT_FALSE(r.open(dir.file("run.bin")));
    EXPECT_EQ(r.header().channels, 9u);
    EXPECT_EQ(r.header().fileNumber, 0u);
    EXPECT_EQ(r.header().settingsJson, R"({"source":"test"})");
    const auto s = readSeries({dir.file("run.bin")});
    ASSERT_FALSE(s.error) << s.errorText;
    expectSame(tags, s.tags);
    ASSERT_EQ(s.markers.size(), 1u);
    EXPECT_EQ(s.markers[0].channel, 2);
    EXPECT_EQ(s.markers[0].count, 5u);
    // A periodic stream compresses far below the 4 bytes a tag may take.
    EXPECT_LT(static_cast<double>(fileSize(dir.file("run.bin"))) / tags.size(), 4.0);
}

TEST(RawWriter, CsvFileFromKnownTagsIsExact)
{
    TempDir dir;
    const auto tags = periodic(5);
    {
        Writer w(dir.file("run.csv"), Writer::csv, false, Writer::description{}, 1, 0, 0s, {});
        w.write(tags.data(), 2);
        w.mark({1, 7, 278777});
        w.write(tags.data() + 2, 3);
    }
    EXPECT_EQ(slurp(dir.file("run.csv")), "channel,edge,tag\n"
                                          "0,1,1000\n"
                                          "1,1,278777\n"
                                          "#lost,1,7,278777\n"
                                          "2,1,556554\n"
                                          "0,2,834331\n"
                                          "1,2,1112108\n");
}

TEST(RawWriter, SplitBySizeLosesAndRepeatsNothing)
{
    for (int format : {Writer::binary, Writer::csv}) {
        TempDir dir;
        const auto tags = periodic(300'000);
        const std::uint64_t split = format == Writer::binary ? 100'000 : 1'000'000;
        std::vector<std::string> files;
        {
            Writer w(dir.file("part{:d}.dat"), format, false, Writer::description{}, 0, split, 0s, {});
            for (std::size_t i = 0; i < tags.size(); i += 7'919)
                w.write(tags.data() + i, std::min<std::size_t>(7'919, tags.size() - i));
            w.flush();
            files = w.files();
            EXPECT_EQ(w.lost_events(), 0u);
        }
        ASSERT_GT(files.size(), 3u);
        EXPECT_EQ(files[0], dir.file("part0.dat"));
        EXPECT_EQ(files[1], dir.file("part1.dat"));
        for (const auto &f : files) {
            EXPECT_LE(fileSize(f), split) << f;
            if (f != files.back()) {
                EXPECT_GT(fileSize(f), split * 9 / 10) << f << " is far from full";
            }
        }
        if (format == Writer::binary) {
            const auto s = readSeries(files);
            ASSERT_FALSE(s.error) << s.errorText;
            expectSame(tags, s.tags);
        } else {
            std::string all;
            std::size_t rows = 0;
            for (const auto &f : files) {
                const auto text = slurp(f);
                ASSERT_EQ(text.rfind("channel,edge,tag\n", 0), 0u) << f;
                all += text.substr(17);
            }
            std::istringstream in(all);
            std::string line;
            while (std::getline(in, line)) {
                const auto &m = tags.at(rows++);
                ASSERT_EQ(line, std::to_string(m.channel) + "," + std::to_string(m.edge) + "," + std::to_string(m.tag));
            }
            EXPECT_EQ(rows, tags.size());
        }
    }
}

TEST(RawWriter, SplitByTimeFollowsTheClock)
{
    TempDir dir;
    FakeClock clock;
    const auto tags = periodic(10'000);
    std::vector<std::string> files;
    {
        Writer w(dir.file("t{:d}.bin"), Writer::binary, false, Writer::description{}, 0, 0, 10s, clock.clock());
        for (std::size_t i = 0; i < tags.size(); i += 1000) {
            w.write(tags.data() + i, 1000);
            clock.advance(4s); // a new file every third batch
        }
        files = w.files();
    }
    ASSERT_EQ(files.size(), 4u);
    std::size_t total = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto s = readSeries({files[i]});
        ASSERT_FALSE(s.error) << s.errorText;
        EXPECT_EQ(s.tags.size(), i + 1 < files.size() ? 3000u : 1000u) << files[i];
        total += s.tags.size();
    }
    EXPECT_EQ(total, tags.size());
    expectSame(tags, readSeries(files).tags);
}

TEST(RawWriter, SeriesWithoutPlaceholderNeverOverwrites)
{
    EXPECT_EQ(Writer::fileName("/d/run.bin", 3, true), "/d/run3.bin");
    EXPECT_EQ(Writer::fileName("/d.x/run", 3, true), "/d.x/run3");
    EXPECT_EQ(Writer::fileName("/d/run.bin", 3, false), "/d/run.bin");
    EXPECT_EQ(Writer::fileName("/d/a{:d}b.csv", 12, false), "/d/a12b.csv");
}

TEST(RawWriter, MaxFileCountStopsAndCountsTheRest)
{
    TempDir dir;
    const auto tags = periodic(100'000);
    Writer w(dir.file("m{:d}.bin"), Writer::binary, false, Writer::description{}, 2, 50'000, 0s, {});
    w.write(tags.data(), tags.size());
    w.flush();
    EXPECT_TRUE(w.stopped());
    EXPECT_EQ(w.error(), rawError::maxFiles);
    EXPECT_EQ(w.files().size(), 2u);
    const auto s = readSeries(w.files());
    ASSERT_FALSE(s.error) << s.errorText;
    EXPECT_EQ(s.tags.size() + w.lost_events(), tags.size());
    EXPECT_EQ(s.tags.size(), w.tags_written());
    w.write(tags.data(), 10);
    EXPECT_EQ(s.tags.size() + w.lost_events(), tags.size() + 10);
}

TEST(RawWriter, FailingDiskLeavesAReadableFile)
{
    TempDir dir;
    const auto tags = periodic(400'000);
    std::uint64_t written = 0, lost = 0;
    std::error_code error;
    {
        const FileSizeLimit limit(300'000);
        ASSERT_TRUE(limit.set());
        Writer w(dir.file("full.bin"), Writer::binary, false, Writer::description{}, 1, 0, 0s, {});
        w.write(tags.data(), tags.size());
        w.flush();
        written = w.tags_written();
        lost = w.lost_events();
        error = w.error();
    }
    EXPECT_EQ(error, std::errc::file_too_large);
    EXPECT_EQ(written + lost, tags.size());
    EXPECT_GT(written, 0u);
    // The last block was cut by the limit: everything before it reads.
    const auto s = readSeries({dir.file("full.bin")});
    EXPECT_EQ(s.error, rawError::truncatedBlock);
    EXPECT_NE(s.errorText.find("block"), std::string::npos);
    ASSERT_EQ(s.tags.size(), written);
    expectSame(std::vector<Dorrin::measurement>(tags.begin(), tags.begin() + written), s.tags);
}

TEST(RawWriter, ADiskFailureIsSeenWithoutAFlush)
{
    // A recording polls stopped() from another thread while the capture writes: the disk
    // thread's failure must show there without anyone flushing.
    TempDir dir;
    const auto tags = periodic(400'000);
    const FileSizeLimit limit(100'000);
    ASSERT_TRUE(limit.set());
    Writer w(dir.file("full.bin"), Writer::binary, false, Writer::description{}, 1, 0, 0s, {});
    w.write(tags.data(), tags.size());
    for (int i = 0; i < 500 && !w.stopped(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(w.stopped());
    EXPECT_EQ(w.error(), std::errc::file_too_large);
    w.flush();
    EXPECT_EQ(w.tags_written() + w.lost_events(), tags.size());
}

TEST(RawWriter, AFileRemovedWhileWrittenStopsTheWriter)
{
    TempDir dir;
    const auto tags = periodic(200'000);
    Writer w(dir.file("gone.bin"), Writer::binary, false, Writer::description{}, 1, 0, 0s, {});
    w.write(tags.data(), 70'000);
    ASSERT_FALSE(w.stopped());
    std::system(("rm -rf " + dir.path()).c_str());
    w.write(tags.data() + 70'000, 130'000);
    w.flush();
    EXPECT_TRUE(w.stopped());
    EXPECT_EQ(w.error(), std::errc::no_such_file_or_directory);
    EXPECT_EQ(w.tags_written() + w.lost_events(), tags.size());
    // Nothing that went into the removed file after the removal counts as written.
    EXPECT_LE(w.tags_written(), 70'000u);
}

TEST(RawWriter, MissingFolderIsAnErrorNotACrash)
{
    const auto tags = periodic(10);
    Writer w("/nonexistent-folder-of-tdc-tests/x.bin", Writer::binary, false, Writer::description{}, 1, 0, 0s, {});
    EXPECT_EQ(w.error(), std::errc::no_such_file_or_directory);
    w.write(tags.data(), tags.size());
    EXPECT_EQ(w.lost_events(), tags.size());
    EXPECT_TRUE(w.files().empty());
}

TEST(RawReader, FileCutAtAnyByteReadsToItsLastCompleteBlock)
{
    TempDir dir;
    const auto tags = periodic(3000);
    std::vector<std::size_t> blockEnds; // byte offsets after each block, and the tags before it
    std::vector<std::size_t> tagsBefore;
    {
        Writer w(dir.file("whole.bin"), Writer::binary, false, Writer::description{}, 1, 0, 0s, {});
        for (std::size_t i = 0; i < tags.size(); i += 500) {
            w.write(tags.data() + i, 500);
            w.flush();
            blockEnds.push_back(w.bytes_written());
            tagsBefore.push_back(i + 500);
        }
    }
    const auto whole = slurp(dir.file("whole.bin"));
    const std::size_t headerBytes = blockEnds[0] - (blockEnds[1] - blockEnds[0]);
    for (std::size_t cut = 0; cut <= whole.size(); cut += (cut < headerBytes + 64 ? 1 : 13)) {
        const auto path = dir.file("cut.bin");
        std::ofstream(path, std::ios::binary).write(whole.data(), static_cast<std::streamsize>(cut));
        const auto s = readSeries({path});
        std::size_t expected = 0;
        for (std::size_t b = 0; b < blockEnds.size(); ++b)
            if (blockEnds[b] <= cut)
                expected = tagsBefore[b];
        ASSERT_EQ(s.tags.size(), expected) << "cut at " << cut;
        if (cut == whole.size()) {
            EXPECT_FALSE(s.error);
        } else if (cut < headerBytes) {
            EXPECT_TRUE(s.error == rawError::truncatedHeader || s.error == rawError::badMagic) << cut;
        } else if (std::find(blockEnds.begin(), blockEnds.end(), cut) == blockEnds.end() && cut != headerBytes) {
            EXPECT_EQ(s.error, rawError::truncatedBlock) << cut;
        }
    }
}

TEST(RawReader, DamageIsNamedByBlockAndOffset)
{
    TempDir dir;
    const auto tags = periodic(2000);
    std::uint64_t secondBlock = 0;
    {
        Writer w(dir.file("d.bin"), Writer::binary, false, Writer::description{}, 1, 0, 0s, {});
        w.write(tags.data(), 1000);
        w.flush();
        secondBlock = w.bytes_written();
        w.write(tags.data() + 1000, 1000);
    }
    auto bytes = slurp(dir.file("d.bin"));
    auto check = [&](const std::string &content, std::error_code want, std::size_t tagsBefore, const std::string &where) {
        std::ofstream(dir.file("x.bin"), std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        const auto s = readSeries({dir.file("x.bin")});
        EXPECT_EQ(s.error, want) << s.errorText;
        EXPECT_EQ(s.tags.size(), tagsBefore);
        EXPECT_NE(s.errorText.find(where), std::string::npos) << s.errorText;
    };
    auto flipped = bytes;
    flipped[secondBlock + 40] ^= 0x04;
    check(flipped, rawError::badCrc, 1000, "block 1 at byte " + std::to_string(secondBlock));
    auto magic = bytes;
    magic[1] = 'X';
    check(magic, rawError::badMagic, 0, "header");
    auto version = bytes;
    version[8] = 9;
    check(version, rawError::badVersion, 0, "header");
    check(bytes.substr(0, bytes.size() - 1), rawError::truncatedBlock, 1000, "block 1");
}
