// Board profiles as a user may write them: any text. The reader refuses with a sentence or
// yields a profile within the ranges the board model relies on; a refused profile leaves the
// caller's profile as it was.
//
// Input: the profile's text.

#include "fuzz_input.h"

#include "kestrane/profile.h"

#include <cmath>
#include <string>

int fuzz_board_profile(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    kestrane::Profile profile;
    profile.seed = 12345;
    std::string error;
    if (!kestrane::parseProfile(text, profile, error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(profile.seed == 12345 && profile.rates.empty());
        return 0;
    }
    FUZZ_CHECK(error.empty());
    const auto &p = profile;
    FUZZ_CHECK(p.inputs >= 1 && p.inputs <= 63);
    FUZZ_CHECK(p.rates.size() == p.inputs && p.shapes.size() == p.inputs);
    FUZZ_CHECK(p.coarseBits >= 1 && p.coarseBits <= 32 && p.fineBits >= 1 && p.fineBits <= 32);
    FUZZ_CHECK(p.histogramBins >= 1024 && p.histogramBins <= (1u << 20) && (p.histogramBins & (p.histogramBins - 1)) == 0);
    FUZZ_CHECK(p.histogrammers <= 16);
    FUZZ_CHECK(p.dacMin < p.dacMax && p.dacMin <= 0);
    FUZZ_CHECK(p.dacBits >= 1 && p.dacBits <= 24);
    FUZZ_CHECK(p.tagFifo >= 1);
    for (const auto &pair : p.pairs) {
        FUZZ_CHECK(pair.from <= p.inputs && pair.to >= 1 && pair.to <= p.inputs && pair.from != pair.to);
        FUZZ_CHECK(pair.fraction >= 0 && pair.fraction <= 1);
    }
    // The derived rates the board's counters and event engine use stay finite.
    for (std::uint32_t c = 0; c < p.channels(); ++c) {
        FUZZ_CHECK(std::isfinite(p.inputRate(c)) && p.inputRate(c) >= 0);
        FUZZ_CHECK(std::isfinite(p.processedRate(c)) && p.processedRate(c) >= 0);
        (void)p.shape(c);
    }
    for (const auto &path : p.replay)
        FUZZ_CHECK(!path.empty());
    return 0;
}
