// Lane (de)interleaving. Sixteen words form a 16x4 byte matrix; one round of byte unpacks
// over four vectors rotates every byte's 6-bit index left by one place, so four rounds take
// word-major order (word, lane) to lane-major (lane, word) and two rounds take it back.

#include "codec/lanes.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace multicobs::detail {
namespace {

#ifdef __SSE2__
inline void shuffle_round(__m128i &v0, __m128i &v1, __m128i &v2, __m128i &v3) noexcept
{
    const __m128i o0 = _mm_unpacklo_epi8(v0, v2);
    const __m128i o1 = _mm_unpackhi_epi8(v0, v2);
    const __m128i o2 = _mm_unpacklo_epi8(v1, v3);
    const __m128i o3 = _mm_unpackhi_epi8(v1, v3);
    v0 = o0;
    v1 = o1;
    v2 = o2;
    v3 = o3;
}

inline void to_lane_major(__m128i &v0, __m128i &v1, __m128i &v2, __m128i &v3) noexcept
{
    shuffle_round(v0, v1, v2, v3);
    shuffle_round(v0, v1, v2, v3);
    shuffle_round(v0, v1, v2, v3);
    shuffle_round(v0, v1, v2, v3);
}
#endif

} // namespace

void words_to_lanes(const std::uint32_t *words, std::size_t count, std::uint8_t *const lanes[4]) noexcept
{
    std::size_t i = 0;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(words);
#ifdef __SSE2__
    for (; i + 16 <= count; i += 16) {
        const auto *p = reinterpret_cast<const __m128i *>(bytes + 4 * i);
        __m128i v0 = _mm_loadu_si128(p), v1 = _mm_loadu_si128(p + 1);
        __m128i v2 = _mm_loadu_si128(p + 2), v3 = _mm_loadu_si128(p + 3);
        to_lane_major(v0, v1, v2, v3);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes[0] + i), v0);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes[1] + i), v1);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes[2] + i), v2);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes[3] + i), v3);
    }
#endif
    for (; i < count; ++i) {
        for (int j = 0; j < 4; ++j)
            lanes[j][i] = bytes[4 * i + j];
    }
}

bool bytes_to_lanes_nonzero(const std::uint8_t *bytes, std::size_t words, std::uint8_t *const lanes[4]) noexcept
{
    std::size_t i = 0;
    bool nonzero = true;
#ifdef __SSE2__
    __m128i smallest = _mm_set1_epi8(-1);
    for (; i + 16 <= words; i += 16) {
        const auto *p = reinterpret_cast<const __m128i *>(bytes + 4 * i);
        __m128i v0 = _mm_loadu_si128(p), v1 = _mm_loadu_si128(p + 1);
        __m128i v2 = _mm_loadu_si128(p + 2), v3 = _mm_loadu_si128(p + 3);
        smallest = _mm_min_epu8(smallest, _mm_min_epu8(_mm_min_epu8(v0, v1), _mm_min_epu8(v2, v3)));
        to_lane_major(v0, v1, v2, v3);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes[0] + i), v0);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes[1] + i), v1);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes[2] + i), v2);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes[3] + i), v3);
    }
    nonzero = _mm_movemask_epi8(_mm_cmpeq_epi8(smallest, _mm_setzero_si128())) == 0;
#endif
    for (; i < words; ++i) {
        for (int j = 0; j < 4; ++j) {
            const std::uint8_t b = bytes[4 * i + j];
            nonzero = nonzero && b != 0;
            lanes[j][i] = b;
        }
    }
    return nonzero;
}

void lanes_to_words(const std::uint8_t *const lanes[4], std::size_t count, std::uint8_t *out) noexcept
{
    std::size_t i = 0;
#ifdef __SSE2__
    for (; i + 16 <= count; i += 16) {
        __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lanes[0] + i));
        __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lanes[1] + i));
        __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lanes[2] + i));
        __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lanes[3] + i));
        shuffle_round(v0, v1, v2, v3);
        shuffle_round(v0, v1, v2, v3);
        auto *p = reinterpret_cast<__m128i *>(out + 4 * i);
        _mm_storeu_si128(p, v0);
        _mm_storeu_si128(p + 1, v1);
        _mm_storeu_si128(p + 2, v2);
        _mm_storeu_si128(p + 3, v3);
    }
#endif
    for (; i < count; ++i) {
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = lanes[j][i];
    }
}

} // namespace multicobs::detail
