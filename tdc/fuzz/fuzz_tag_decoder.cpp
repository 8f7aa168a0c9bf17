// The time-tag stream's wire decoder over any packet: tags, epoch words, overflow markers,
// reserved markers and packets cut anywhere. What decodes cleanly must be what the counting
// form (used for packets the host drops) sees; a damaged packet stops at the damage, and the
// rest is counted the way the capture does it.
//
// Input: the packet's words, little-endian.

#include "fuzz_input.h"

#include "tagdecoder.h"

#include <array>

int fuzz_tag_decoder(const std::uint8_t *data, std::size_t size)
{
    fuzz::input in(data, size);
    const auto words = in.words(size / 4);

    std::vector<Dorrin::measurement> tags{{7, 1, 42}}; // decode appends
    std::vector<tagwire::Loss> losses;
    std::size_t consumed = 0;
    const auto ec = tagwire::decode(words.data(), words.size(), tags, losses, consumed);
    FUZZ_CHECK(tags.front().tag == 42);
    FUZZ_CHECK(consumed <= words.size());
    FUZZ_CHECK(tags.size() - 1 <= consumed);
    for (std::size_t i = 1; i < tags.size(); ++i) {
        FUZZ_CHECK(tags[i].channel < 64);
        FUZZ_CHECK(tags[i].edge == 1 || tags[i].edge == 2);
    }
    for (const auto &l : losses)
        FUZZ_CHECK(l.channel < 64);

    std::array<std::uint64_t, 64> perChannel{};
    std::array<std::uint64_t, 64> boardLost{};
    std::uint64_t first = 0;
    if (ec) {
        // The capture counts what follows the damaged word as lost.
        FUZZ_CHECK(consumed < words.size());
        tagwire::count(words.data() + consumed + 1, words.size() - consumed - 1, perChannel.data(),
                       boardLost.data(), first);
        return 0;
    }
    FUZZ_CHECK(consumed == words.size());
    tagwire::count(words.data(), words.size(), perChannel.data(), boardLost.data(), first);
    std::array<std::uint64_t, 64> decodedPerChannel{};
    for (std::size_t i = 1; i < tags.size(); ++i)
        ++decodedPerChannel[tags[i].channel];
    FUZZ_CHECK(decodedPerChannel == perChannel);
    std::array<std::uint64_t, 64> decodedLost{};
    for (const auto &l : losses)
        decodedLost[l.channel] += l.count;
    FUZZ_CHECK(decodedLost == boardLost);
    FUZZ_CHECK(first == (tags.size() > 1 ? tags[1].tag : 0));
    return 0;
}
