#include "tagdecoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "tdc/tdcerror.h"

namespace tagwire {

std::error_code decode(const std::uint32_t *words, std::size_t count, std::vector<Dorrin::measurement> &tags,
                       std::vector<Loss> &losses, std::size_t &consumed)
{
    // Tags gather in a small buffer that stays in the cache and join the batch a run at a
    // time: growing the batch to an upper bound first would fill it with zeros only to
    // overwrite them.
    constexpr std::size_t chunk = 1024;
    Dorrin::measurement out[chunk];
    std::size_t made = 0;
    // Room for every word as a tag, growing as insert would: a batch built from many packets
    // must not be copied whole for each one.
    if (tags.capacity() < tags.size() + count)
        tags.reserve(std::max(2 * tags.capacity(), tags.size() + count));
    std::uint64_t epochHigh = 0;
    std::uint64_t epoch = 0;
    bool haveEpoch = false;
    std::error_code ec;
    std::size_t i = 0;
    // One tag word as a tag: channel and edge go in with one store.
    const auto put = [&](Dorrin::measurement &m, std::uint32_t w) {
        const std::uint64_t head = (w >> channelShift) | static_cast<std::uint64_t>(1 + ((w >> lowBits) & 1)) << 8;
        std::memcpy(&m, &head, sizeof head);
        m.tag = epoch | (w & lowMask);
    };
    static_assert(offsetof(Dorrin::measurement, channel) == 0 && offsetof(Dorrin::measurement, edge) == 1 &&
                      offsetof(Dorrin::measurement, tag) == 8,
                  "the tag layout the stores assume");
    while (i < count) {
        // Runs of tag words, four at a time with one test, while the epoch is known.
        if (haveEpoch) {
            while (i + 4 <= count && made + 4 <= chunk) {
                const std::uint32_t w0 = words[i], w1 = words[i + 1], w2 = words[i + 2], w3 = words[i + 3];
                if (((w0 | w1 | w2 | w3) & 0x80000000u) != 0)
                    break;
                put(out[made], w0);
                put(out[made + 1], w1);
                put(out[made + 2], w2);
                put(out[made + 3], w3);
                made += 4;
                i += 4;
            }
            if (made + 4 > chunk) {
                tags.insert(tags.end(), out, out + made);
                made = 0;
            }
            if (i == count)
                break;
        }
        const std::uint32_t w = words[i];
        if ((w & 0x80000000u) == 0) {
            if (!haveEpoch) {
                ec = make_error_code(tdcError::badResponse);
                break;
            }
            out[made].channel = static_cast<std::uint8_t>(w >> channelShift);
            out[made].edge = static_cast<std::uint8_t>(1 + ((w >> lowBits) & 1));
            out[made].tag = epoch | (w & lowMask);
            ++i;
            if (++made == chunk) {
                tags.insert(tags.end(), out, out + chunk);
                made = 0;
            }
            continue;
        }
        switch (w & typeMask) {
        case epochHighType:
            epochHigh = static_cast<std::uint64_t>(w & 0xFFFu) << 52;
            epoch = epochHigh | (epoch & ((1ull << 52) - 1));
            ++i;
            continue;
        case epochLowType:
            epoch = epochHigh | (static_cast<std::uint64_t>(w & 0x0FFFFFFFu) << lowBits);
            haveEpoch = true;
            ++i;
            continue;
        case overflowType:
            if (count - i < overflowWords) {
                ec = make_error_code(tdcError::badResponse);
                break;
            }
            losses.push_back({static_cast<std::uint8_t>(w & 0x3F), words[i + 1],
                              static_cast<std::uint64_t>(words[i + 2]) | static_cast<std::uint64_t>(words[i + 3]) << 32});
            i += overflowWords;
            continue;
        default:
            ec = make_error_code(tdcError::badResponse);
            break;
        }
        break;
    }
    tags.insert(tags.end(), out, out + made);
    consumed = i;
    return ec;
}

void count(const std::uint32_t *words, std::size_t n, std::uint64_t *tagsPerChannel, std::uint64_t *boardLost,
           std::uint64_t &firstTag)
{
    firstTag = 0;
    bool seen = false;
    std::uint64_t epochHigh = 0;
    std::uint64_t epoch = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t w = words[i];
        if ((w & 0x80000000u) == 0) {
            ++tagsPerChannel[w >> channelShift];
            if (!seen) {
                firstTag = epoch | (w & lowMask);
                seen = true;
            }
        } else if ((w & typeMask) == epochHighType) {
            // Bits 63-52 of the time change at once, as in decode, not at the next epoch word.
            epochHigh = static_cast<std::uint64_t>(w & 0xFFFu) << 52;
            epoch = epochHigh | (epoch & ((1ull << 52) - 1));
        } else if ((w & typeMask) == epochLowType) {
            epoch = epochHigh | (static_cast<std::uint64_t>(w & 0x0FFFFFFFu) << lowBits);
        } else if ((w & typeMask) == overflowType && n - i >= overflowWords) {
            boardLost[w & 0x3F] += words[i + 1];
            i += overflowWords - 1;
        } else {
            return;
        }
    }
}

} // namespace tagwire
