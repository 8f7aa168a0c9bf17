// The raw file reader against length fields that claim more than the file holds: a cut or
// damaged file must not make it allocate what the header or a block header promises, and a
// large block that is all there still reads back whole.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tdc/rawreader.h"

using tdcraw::rawError;

namespace {

class TempFile {
public:
    TempFile()
    {
        char name[] = "/tmp/tdc-rawreader-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0)
            ::close(fd);
        path_ = name;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string &path() const { return path_; }
    void write(const std::vector<std::uint8_t> &bytes) const
    {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::string path_;
};

// Tags with irregular gaps, so that a block of them is large.
std::vector<tdcraw::measurement> tags(std::size_t n)
{
    std::vector<tdcraw::measurement> out(n);
    std::uint64_t t = 1000, x = 88172645463325252ull;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        t += x % 1'000'000;
        out[i] = {static_cast<std::uint8_t>(x % 8), static_cast<std::uint8_t>(1 + (x >> 8) % 2), t};
    }
    return out;
}

std::vector<std::uint8_t> header()
{
    tdcraw::FileHeader h;
    h.channels = 8;
    return tdcraw::encodeHeader(h);
}

void append(std::vector<std::uint8_t> &file, const std::vector<tdcraw::measurement> &t)
{
    tdcraw::encodeBlock(t.data(), t.size(), nullptr, 0, file);
}

struct Read {
    std::error_code error;
    std::size_t tags = 0;
    std::uint64_t blocks = 0;
    std::size_t bufferBytes = 0;
    std::string text;
};

Read readAll(const std::string &path)
{
    Read r;
    tdcraw::Reader reader;
    std::vector<tdcraw::measurement> got;
    std::vector<tdcraw::loss> markers;
    r.error = reader.open(path);
    for (bool end = false; !r.error && !end;)
        r.error = reader.next(got, markers, end);
    r.tags = got.size();
    r.blocks = reader.blocks();
    r.bufferBytes = reader.bufferBytes();
    r.text = reader.errorText();
    return r;
}

} // namespace

TEST(RawReaderClaims, BlockClaimingMoreThanTheFileHoldsIsCutWithoutTakingTheClaim)
{
    TempFile file;
    auto bytes = header();
    append(bytes, tags(100));
    const std::size_t secondBlock = bytes.size();
    append(bytes, tags(100));
    // The second block claims the largest payload there may be, and the file ends soon after.
    const std::uint32_t claim = tdcraw::maxBlockPayload;
    std::memcpy(bytes.data() + secondBlock + 4, &claim, 4);
    bytes.resize(secondBlock + 200);
    file.write(bytes);

    const auto r = readAll(file.path());
    EXPECT_EQ(r.error, rawError::truncatedBlock);
    EXPECT_EQ(r.tags, 100u);
    EXPECT_EQ(r.blocks, 1u);
    EXPECT_NE(r.text.find("block 1 at byte " + std::to_string(secondBlock)), std::string::npos) << r.text;
    EXPECT_LT(r.bufferBytes, std::size_t(1) << 20) << "the reader took the block's claim of " << claim << " bytes";
}

TEST(RawReaderClaims, HeaderClaimingLongSettingsIsCutWithoutTakingTheClaim)
{
    TempFile file;
    tdcraw::FileHeader h;
    h.settingsJson = "{\"note\":\"" + std::string(tdcraw::maxSettingsBytes - 16, 'x') + "\"}";
    auto bytes = tdcraw::encodeHeader(h);
    ASSERT_GT(bytes.size(), std::size_t(1) << 19);
    bytes.resize(tdcraw::headerFixedBytes + 100);
    file.write(bytes);

    const auto r = readAll(file.path());
    EXPECT_EQ(r.error, rawError::truncatedHeader);
    EXPECT_LT(r.bufferBytes, std::size_t(256) << 10);
}

TEST(RawReaderClaims, LargeBlocksReadBackWholeAndCutOnesStopAtTheCut)
{
    TempFile file;
    auto bytes = header();
    append(bytes, tags(50));
    const std::size_t bigBlock = bytes.size();
    // Far larger than one read step, so the block arrives in several.
    append(bytes, tags(400'000));
    const std::size_t bigBytes = bytes.size() - bigBlock;
    ASSERT_GT(bigBytes, std::size_t(1) << 20);
    append(bytes, tags(7));
    file.write(bytes);

    const auto whole = readAll(file.path());
    EXPECT_FALSE(whole.error) << whole.text;
    EXPECT_EQ(whole.tags, 50u + 400'000u + 7u);
    EXPECT_EQ(whole.blocks, 3u);

    // Cut inside the big block, at points before, at and after the read steps' edges.
    for (std::size_t into : {std::size_t(40), std::size_t(64 << 10), std::size_t((64 << 10) + 28),
                             std::size_t(300'000), bigBytes - 1}) {
        SCOPED_TRACE(into);
        auto cut = bytes;
        cut.resize(bigBlock + into);
        file.write(cut);
        const auto r = readAll(file.path());
        EXPECT_EQ(r.error, rawError::truncatedBlock);
        EXPECT_EQ(r.tags, 50u);
        EXPECT_LE(r.bufferBytes, 2 * into + (std::size_t(128) << 10));
    }
}
