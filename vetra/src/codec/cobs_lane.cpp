// Per-lane COBS. On random data a zero byte turns up about once in 256, so most of the work
// is copying runs; the scan for the next zero and the copy share one 16-byte load.

#include "codec/cobs_lane.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace multicobs::detail {

namespace {
bool all_zero16(const std::uint8_t *p) noexcept
{
    std::uint64_t a, b;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, 8);
    return (a | b) == 0;
}
} // namespace

std::size_t encode_lane(const std::uint8_t *in, std::size_t n, std::uint8_t *out) noexcept
{
    std::size_t code = 0; // position of the current block's code byte
    std::size_t o = 1;    // next output position
    std::size_t i = 0;
    while (i < n) {
        if (o - code == 255) {
            // 254 data bytes and another byte to place: close the block without a zero.
            out[code] = 0xFF;
            code = o;
            o = code + 1;
        }
        if (o - code == 1) {
            // A run of zeros (a lane of histogram bins is mostly that): each closes an empty
            // block, whose code byte is 1. Sixteen at a time instead of a scan each.
            while (n - i >= 16 && all_zero16(in + i)) {
                std::memset(out + code, 0x01, 16);
                code += 16;
                i += 16;
            }
            o = code + 1;
            if (i == n)
                break;
        }
        const std::size_t limit = std::min<std::size_t>(255 - (o - code), n - i);
        std::size_t k = 0;
        bool zero = false;
#ifdef __SSE2__
        const __m128i zeros = _mm_setzero_si128();
        while (k < limit) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i + k));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + o + k), v);
            unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zeros)));
            const std::size_t avail = limit - k;
            if (avail < 16)
                mask &= (1u << avail) - 1;
            if (mask != 0) {
                k += unsigned(__builtin_ctz(mask));
                zero = true;
                break;
            }
            k += std::min<std::size_t>(16, avail);
        }
#else
        for (; k < limit; ++k) {
            if (in[i + k] == 0) {
                zero = true;
                break;
            }
            out[o + k] = in[i + k];
        }
#endif
        o += k;
        i += k;
        if (zero) {
            out[code] = std::uint8_t(o - code);
            code = o;
            o = code + 1;
            ++i;
        }
    }
    out[code] = std::uint8_t(o - code);
    return o;
}

std::size_t decode_lane(const std::uint8_t *in, std::size_t n, std::uint8_t *out) noexcept
{
    std::size_t p = 0;
    std::size_t o = 0;
    bool previous_ff = true; // the first code brings no zero
    while (p < n) {
        const std::size_t c = in[p];
        if (c == 0 || p + c > n)
            return malformed_lane;
        if (!previous_ff)
            out[o++] = 0;
        const std::size_t len = c - 1;
        const std::uint8_t *s = in + p + 1;
        std::uint8_t *d = out + o;
#ifdef __SSE2__
        for (std::size_t k = 0; k < len; k += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(d + k),
                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + k)));
#else
        for (std::size_t k = 0; k < len; ++k)
            d[k] = s[k];
#endif
        o += len;
        p += c;
        previous_ff = c == 0xFF;
    }
    return o;
}

} // namespace multicobs::detail
