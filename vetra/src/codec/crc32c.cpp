// CRC-32C over buffers: a byte table everywhere, the SSE4.2 instruction where present.
//
// The instruction has a latency of three cycles but accepts one per cycle, so a single
// dependency chain uses a third of it. Long buffers are therefore cut into three equal
// blocks whose CRCs run as three independent chains and are then joined with the linear
// "shift" of a CRC register over a known number of zero bytes, done with precomputed tables.
//
// Where the processor multiplies carry-less on 512-bit vectors, that outruns even three
// chains: sixteen 128-bit lanes of the message are carried ("folded") 256 bytes forward per
// step by multiplying with x^n mod P, and the last 128-bit remainder goes through the
// instruction.

#include <vetra/crc32c.h>

#include "codec/crc32c_paths.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#include <nmmintrin.h>
#define VETRA_CRC_X86 1
#endif

namespace crc32c {
namespace {

constexpr std::uint32_t polynomial = 0x82F63B78u;

constexpr std::array<std::uint32_t, 256> make_byte_table()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ polynomial : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> byte_table = make_byte_table();

// Raw register update (no pre/post complement).
std::uint32_t table_update(std::uint32_t reg, const std::uint8_t *p, std::size_t n) noexcept
{
    for (std::size_t i = 0; i < n; ++i)
        reg = (reg >> 8) ^ byte_table[(reg ^ p[i]) & 0xFFu];
    return reg;
}

#ifdef VETRA_CRC_X86

// The register after feeding `bytes` zero bytes is a linear function of the register before;
// one table per register byte makes it four lookups.
struct shift_table {
    std::uint32_t t[4][256];

    explicit shift_table(std::size_t bytes)
    {
        std::uint32_t basis[32];
        for (int bit = 0; bit < 32; ++bit) {
            std::uint32_t reg = std::uint32_t(1) << bit;
            for (std::size_t i = 0; i < bytes; ++i)
                reg = (reg >> 8) ^ byte_table[reg & 0xFFu];
            basis[bit] = reg;
        }
        for (int pos = 0; pos < 4; ++pos) {
            for (std::uint32_t v = 0; v < 256; ++v) {
                std::uint32_t r = 0;
                for (int b = 0; b < 8; ++b)
                    if (v & (1u << b))
                        r ^= basis[pos * 8 + b];
                t[pos][v] = r;
            }
        }
    }

    std::uint32_t apply(std::uint32_t reg) const noexcept
    {
        return t[0][reg & 0xFF] ^ t[1][(reg >> 8) & 0xFF] ^ t[2][(reg >> 16) & 0xFF] ^ t[3][reg >> 24];
    }
};

constexpr std::size_t large_block = 2048;
constexpr std::size_t small_block = 256;

struct shift_tables {
    shift_table large1{large_block}, large2{2 * large_block};
    shift_table small1{small_block}, small2{2 * small_block};
};

const shift_tables &tables()
{
    static const shift_tables instance;
    return instance;
}

__attribute__((target("sse4.2"))) inline std::uint64_t load64(const std::uint8_t *p) noexcept
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Three chains over consecutive blocks of `block` bytes (a multiple of 8) each.
__attribute__((target("sse4.2"))) std::uint32_t three_chains(std::uint32_t reg, const std::uint8_t *&p,
                                                             std::size_t &n, std::size_t block,
                                                             const shift_table &shift1,
                                                             const shift_table &shift2) noexcept
{
    while (n >= 3 * block) {
        std::uint64_t a = reg, b = 0, c = 0;
        const std::uint8_t *pa = p, *pb = p + block, *pc = p + 2 * block;
        for (std::size_t i = 0; i < block; i += 8) {
            a = _mm_crc32_u64(a, load64(pa + i));
            b = _mm_crc32_u64(b, load64(pb + i));
            c = _mm_crc32_u64(c, load64(pc + i));
        }
        reg = shift2.apply(std::uint32_t(a)) ^ shift1.apply(std::uint32_t(b)) ^ std::uint32_t(c);
        p += 3 * block;
        n -= 3 * block;
    }
    return reg;
}

__attribute__((target("sse4.2"))) std::uint32_t hardware_update(std::uint32_t reg, const std::uint8_t *p,
                                                                std::size_t n) noexcept
{
    while (n > 0 && (reinterpret_cast<std::uintptr_t>(p) & 7) != 0) {
        reg = _mm_crc32_u8(reg, *p++);
        --n;
    }
    if (n >= 3 * small_block) {
        const shift_tables &t = tables();
        reg = three_chains(reg, p, n, large_block, t.large1, t.large2);
        reg = three_chains(reg, p, n, small_block, t.small1, t.small2);
    }
    std::uint64_t r = reg;
    while (n >= 8) {
        r = _mm_crc32_u64(r, load64(p));
        p += 8;
        n -= 8;
    }
    reg = std::uint32_t(r);
    while (n > 0) {
        reg = _mm_crc32_u8(reg, *p++);
        --n;
    }
    return reg;
}

bool detect_hardware() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.2");
}

bool detect_folding() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("pclmul") &&
           __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq");
}

// x^n mod P, P in normal form (bit d is the coefficient of x^d).
std::uint32_t x_power_mod(unsigned n) noexcept
{
    std::uint32_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        const bool top = (r & 0x80000000u) != 0;
        r <<= 1;
        if (top)
            r ^= 0x1EDC6F41u;
    }
    return r;
}

// The reflected 64-bit form the multiplier wants: the coefficient of x^d at bit 63 - d.
std::uint64_t reflected(std::uint32_t poly) noexcept
{
    std::uint64_t out = 0;
    for (int d = 0; d < 32; ++d)
        if ((poly >> d) & 1u)
            out |= std::uint64_t(1) << (63 - d);
    return out;
}

// Multipliers that carry a 128-bit lane `bits` bits forward. A lane is H(x) x^64 + L(x)
// (its first eight bytes are H); carried forward it is congruent to H x^(bits+64) + L x^bits.
// The carry-less product of two reflected 64-bit values comes out one degree low, hence the
// powers bits+63 and bits-1. Low half: H's multiplier; high half: L's.
struct fold_multiplier {
    std::uint64_t for_high, for_low;
    explicit fold_multiplier(unsigned bits)
        : for_high(reflected(x_power_mod(bits + 63))), for_low(reflected(x_power_mod(bits - 1)))
    {
    }
};

struct fold_constants {
    fold_multiplier by2048{2048}, by512{512}, by128{128};
};

const fold_constants &folds()
{
    static const fold_constants instance;
    return instance;
}

__attribute__((target("sse4.2,pclmul"))) inline __m128i fold128(__m128i v, __m128i k) noexcept
{
    return _mm_xor_si128(_mm_clmulepi64_si128(v, k, 0x00), _mm_clmulepi64_si128(v, k, 0x11));
}

__attribute__((target("sse4.2,pclmul,avx512f,vpclmulqdq"))) inline __m512i fold512(__m512i v, __m512i k,
                                                                                     __m512i next) noexcept
{
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(v, k, 0x00), _mm512_clmulepi64_epi128(v, k, 0x11),
                                     next, 0x96);
}

// Raw register update over a multiple of 256 bytes (at least 512).
__attribute__((target("sse4.2,pclmul,avx512f,vpclmulqdq"))) std::uint32_t
folding_update(std::uint32_t reg, const std::uint8_t *p, std::size_t n) noexcept
{
    const fold_constants &c = folds();
    const __m512i k2048 = _mm512_set4_epi64(std::int64_t(c.by2048.for_low), std::int64_t(c.by2048.for_high),
                                            std::int64_t(c.by2048.for_low), std::int64_t(c.by2048.for_high));
    const __m512i k512 = _mm512_set4_epi64(std::int64_t(c.by512.for_low), std::int64_t(c.by512.for_high),
                                           std::int64_t(c.by512.for_low), std::int64_t(c.by512.for_high));
    const __m128i k128 = _mm_set_epi64x(std::int64_t(c.by128.for_low), std::int64_t(c.by128.for_high));

    // Starting from register R equals starting from zero with R added to the first 32 bits.
    __m512i a0 = _mm512_xor_si512(_mm512_loadu_si512(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(int(reg))));
    __m512i a1 = _mm512_loadu_si512(p + 64);
    __m512i a2 = _mm512_loadu_si512(p + 128);
    __m512i a3 = _mm512_loadu_si512(p + 192);
    p += 256;
    n -= 256;
    for (; n >= 256; p += 256, n -= 256) {
        a0 = fold512(a0, k2048, _mm512_loadu_si512(p));
        a1 = fold512(a1, k2048, _mm512_loadu_si512(p + 64));
        a2 = fold512(a2, k2048, _mm512_loadu_si512(p + 128));
        a3 = fold512(a3, k2048, _mm512_loadu_si512(p + 192));
    }
    __m512i a = fold512(a0, k512, a1);
    a = fold512(a, k512, a2);
    a = fold512(a, k512, a3);
    alignas(64) std::uint8_t lanes[64];
    _mm512_store_si512(lanes, a);
    __m128i v = _mm_load_si128(reinterpret_cast<const __m128i *>(lanes));
    for (int lane = 1; lane < 4; ++lane)
        v = _mm_xor_si128(fold128(v, k128), _mm_load_si128(reinterpret_cast<const __m128i *>(lanes + 16 * lane)));
    // The remainder is congruent to everything folded so far: its CRC from zero is the register.
    std::uint64_t r = _mm_crc32_u64(0, std::uint64_t(_mm_cvtsi128_si64(v)));
    r = _mm_crc32_u64(r, std::uint64_t(_mm_extract_epi64(v, 1)));
    return std::uint32_t(r);
}

#endif

} // namespace

namespace detail {

bool folding_available() noexcept
{
#ifdef VETRA_CRC_X86
    static const bool available = detect_folding();
    return available;
#else
    return false;
#endif
}

std::uint32_t extend_folding(std::uint32_t crc, const void *data, std::size_t size) noexcept
{
#ifdef VETRA_CRC_X86
    const auto *p = static_cast<const std::uint8_t *>(data);
    std::uint32_t reg = ~crc;
    if (size >= 512) {
        const std::size_t bulk = size & ~std::size_t(255);
        reg = folding_update(reg, p, bulk);
        p += bulk;
        size -= bulk;
    }
    return ~hardware_update(reg, p, size);
#else
    return extend_table(crc, data, size);
#endif
}

} // namespace detail

bool hardware_available() noexcept
{
#ifdef VETRA_CRC_X86
    static const bool available = detect_hardware();
    return available;
#else
    return false;
#endif
}

std::uint32_t extend_table(std::uint32_t crc, const void *data, std::size_t size) noexcept
{
    return ~table_update(~crc, static_cast<const std::uint8_t *>(data), size);
}

std::uint32_t extend_hardware(std::uint32_t crc, const void *data, std::size_t size) noexcept
{
#ifdef VETRA_CRC_X86
    return ~hardware_update(~crc, static_cast<const std::uint8_t *>(data), size);
#else
    return extend_table(crc, data, size);
#endif
}

std::uint32_t extend(std::uint32_t crc, const void *data, std::size_t size) noexcept
{
    if (size >= 512 && detail::folding_available())
        return detail::extend_folding(crc, data, size);
    if (hardware_available())
        return extend_hardware(crc, data, size);
    return extend_table(crc, data, size);
}

} // namespace crc32c
