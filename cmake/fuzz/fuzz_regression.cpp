// Replays every checked-in corpus file and every crash ever found through its harness, built
// with the ordinary compiler. A reader that crashes, hangs or breaks a harness check on any of
// them fails this test; a harness without a corpus fails it too, since it would test nothing.

#include "fuzz_regression.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> filesIn(const fs::path &folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return files;
    for (const auto &entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename().string().rfind('.', 0) != 0)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> contents(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class FuzzRegression : public testing::TestWithParam<FuzzHarness> {};

TEST_P(FuzzRegression, ReplaysCorpusAndCrashes)
{
    const FuzzHarness &h = GetParam();
    const fs::path base(h.folder);
    const auto corpus = filesIn(base / "corpus" / h.name);
    const auto crashes = filesIn(base / "crashes" / h.name);
    ASSERT_FALSE(corpus.empty()) << "no corpus in " << (base / "corpus" / h.name);

    std::uintmax_t total = 0;
    for (const auto &file : corpus)
        total += fs::file_size(file);
    // A corpus that grows past this no longer replays in seconds; minimise it (scripts/fuzz).
    EXPECT_LT(total, std::uintmax_t(1) << 20) << "corpus of " << h.name << " holds " << total << " bytes";

    for (const auto *list : {&corpus, &crashes}) {
        for (const auto &file : *list) {
            SCOPED_TRACE(file.string());
            const auto bytes = contents(file);
            // An empty vector's data() may be null; harnesses see a valid pointer as libFuzzer gives.
            const std::uint8_t none = 0;
            EXPECT_EQ(h.run(bytes.empty() ? &none : bytes.data(), bytes.size()), 0);
        }
    }
}

// Also the inputs every harness must survive whatever the corpus holds.
TEST_P(FuzzRegression, SurvivesTrivialInputs)
{
    const FuzzHarness &h = GetParam();
    const std::uint8_t zeros[64] = {};
    std::uint8_t ones[64];
    std::fill(std::begin(ones), std::end(ones), 0xFF);
    for (std::size_t n : {std::size_t(0), std::size_t(1), std::size_t(4), std::size_t(63), std::size_t(64)}) {
        EXPECT_EQ(h.run(zeros, n), 0);
        EXPECT_EQ(h.run(ones, n), 0);
    }
}

std::string nameOf(const testing::TestParamInfo<FuzzHarness> &info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Harness, FuzzRegression, testing::ValuesIn(fuzzHarnesses()), nameOf);

} // namespace
