#include <vetra/crc32c.h>

#include "codec/crc32c_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// Bit-at-a-time CRC-32C, the plainest possible statement of the polynomial.
std::uint32_t bitwise_crc(const std::uint8_t *p, std::size_t n, std::uint32_t crc = 0)
{
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0x82F63B78u : crc >> 1;
    }
    return ~crc;
}

std::vector<std::uint8_t> random_bytes(std::size_t n, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto &b : bytes)
        b = std::uint8_t(rng());
    return bytes;
}

TEST(Crc32c, CheckValue)
{
    const char *text = "123456789";
    EXPECT_EQ(crc32c::value(text, 9), 0xE3069283u);
    EXPECT_EQ(crc32c::extend_table(0, text, 9), 0xE3069283u);
    if (crc32c::hardware_available()) {
        EXPECT_EQ(crc32c::extend_hardware(0, text, 9), 0xE3069283u);
    } else {
        GTEST_LOG_(INFO) << "no SSE4.2 on this processor: only the table path was checked";
    }
    EXPECT_EQ(crc32c::value(text, 0), 0u);
}

TEST(Crc32c, WordsContributeLeastSignificantByteFirst)
{
    const std::uint32_t header = 5;
    EXPECT_EQ(crc32c::extend_words(0, &header, 1), 0xEE00D08Cu);
    const std::uint32_t words[2] = {7, 0};
    EXPECT_EQ(crc32c::extend_words(0, words, 2), 0x7671B78Eu);
}

// Every length up to past two rounds of the three-chain blocks, at every alignment: the
// fast path's head, three-chain rounds, single-chain tail and byte tail must all agree.
TEST(Crc32c, AllPathsAgreeOverLengthsAndAlignments)
{
    const auto bytes = random_bytes(20000, 1);
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t n = 0; n < 1700; n += (n < 64 ? 1 : 7)) {
            const std::uint32_t expected = bitwise_crc(bytes.data() + offset, n);
            ASSERT_EQ(crc32c::extend_table(0, bytes.data() + offset, n), expected) << n << "@" << offset;
            ASSERT_EQ(crc32c::extend(0, bytes.data() + offset, n), expected) << n << "@" << offset;
        }
    }
    for (std::size_t n : {6143u, 6144u, 6145u, 6912u, 12288u + 768u + 5u, 19990u}) {
        const std::uint32_t expected = bitwise_crc(bytes.data() + 3, n);
        EXPECT_EQ(crc32c::extend(0, bytes.data() + 3, n), expected) << n;
        EXPECT_EQ(crc32c::extend_table(0, bytes.data() + 3, n), expected) << n;
        if (crc32c::hardware_available()) {
            EXPECT_EQ(crc32c::extend_hardware(0, bytes.data() + 3, n), expected) << n;
        }
    }
}

// The carry-less folding path, where the processor has it: block counts, tails, alignments
// and a non-zero starting value.
TEST(Crc32c, FoldingPathAgrees)
{
    if (!crc32c::detail::folding_available())
        GTEST_SKIP() << "no 512-bit carry-less multiply on this processor";
    const auto bytes = random_bytes(70000, 4);
    for (std::size_t offset : {0u, 1u, 5u, 63u}) {
        for (std::size_t n : {511u, 512u, 513u, 767u, 768u, 1024u, 1279u, 4096u, 65536u, 69000u}) {
            const std::uint32_t expected = bitwise_crc(bytes.data() + offset, n, 0x12345678u);
            ASSERT_EQ(crc32c::detail::extend_folding(0x12345678u, bytes.data() + offset, n), expected)
                << n << "@" << offset;
        }
    }
    const std::vector<std::uint8_t> ones(4096, 0xFF);
    EXPECT_EQ(crc32c::detail::extend_folding(0, ones.data(), ones.size()), bitwise_crc(ones.data(), ones.size()));
}

TEST(Crc32c, RunningValueCarriesAcrossBuffers)
{
    const auto bytes = random_bytes(70000, 2);
    const std::uint32_t whole = crc32c::extend(0, bytes.data(), bytes.size());
    std::mt19937 rng(3);
    for (int trial = 0; trial < 50; ++trial) {
        const std::size_t cut1 = rng() % bytes.size();
        const std::size_t cut2 = cut1 + rng() % (bytes.size() - cut1);
        std::uint32_t crc = crc32c::extend(0, bytes.data(), cut1);
        crc = crc32c::extend_table(crc, bytes.data() + cut1, cut2 - cut1);
        crc = crc32c::extend(crc, bytes.data() + cut2, bytes.size() - cut2);
        ASSERT_EQ(crc, whole);
    }
    EXPECT_EQ(whole, bitwise_crc(bytes.data(), bytes.size()));
}

} // namespace
