#pragma once
// What every fuzz harness shares: a cursor over the fuzzer's bytes that hands out small
// choices and chunks (never reading past the end, zeros once it is used up), a check that
// stops the process loudly when a reader breaks a promise, and a private temporary folder for
// readers that only take paths.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <stdlib.h>

namespace fuzz {

class input {
public:
    input(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    std::size_t left() const { return size_ - at_; }
    bool empty() const { return at_ == size_; }

    std::uint8_t byte()
    {
        return at_ < size_ ? data_[at_++] : 0;
    }
    std::uint32_t word()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(byte()) << (8 * i);
        return v;
    }
    // A value in [0, n) for small n.
    unsigned below(unsigned n) { return n ? byte() % n : 0; }

    // The next `n` bytes, or fewer at the end.
    std::vector<std::uint8_t> bytes(std::size_t n)
    {
        n = n < left() ? n : left();
        std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + n);
        at_ += n;
        return out;
    }
    std::vector<std::uint8_t> rest() { return bytes(left()); }
    std::vector<std::uint32_t> words(std::size_t n)
    {
        std::vector<std::uint32_t> out;
        out.reserve(n < left() / 4 + 1 ? n : left() / 4 + 1);
        for (std::size_t i = 0; i < n && !empty(); ++i)
            out.push_back(word());
        return out;
    }
    // Bytes up to the next separator (consumed, not returned) or the end.
    std::string until(std::uint8_t separator)
    {
        std::string out;
        while (at_ < size_ && data_[at_] != separator)
            out.push_back(static_cast<char>(data_[at_++]));
        if (at_ < size_)
            ++at_;
        return out;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A broken promise of the reader under test: say which, then stop so the fuzzer keeps the
// input and the replay test fails.
[[noreturn]] inline void broken(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

// A folder of this process under $TMPDIR (or /tmp), made on first use and removed with
// everything in it when the process ends normally.
inline const std::string &temporaryFolder()
{
    static const std::string folder = [] {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tessaron-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            broken("cannot make a temporary folder", __FILE__, __LINE__);
        static const std::string remove = pattern;
        std::atexit([] { std::filesystem::remove_all(remove); });
        return pattern;
    }();
    return folder;
}

} // namespace fuzz

#define FUZZ_CHECK(...)                                                                                \
    do {                                                                                               \
        if (!(__VA_ARGS__))                                                                            \
            ::fuzz::broken(#__VA_ARGS__, __FILE__, __LINE__);                                          \
    } while (0)
