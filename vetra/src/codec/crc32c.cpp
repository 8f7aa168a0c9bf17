// CRC-32C over buffers: a byte table everywhere, the SSE4.2 instruction where present.
//
// The instruction has a latency of three cycles but accepts one per cycle, so a single
// dependency chain uses a third of it. Long buffers are therefore cut into three equal
// blocks whose CRCs run as three independent chains and are then joined with the linear
// "shift" of a CRC register over a known number of zero bytes, done with precomputed tables.

#include <vetra/crc32c.h>

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
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

#endif

} // namespace

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
    if (hardware_available())
        return extend_hardware(crc, data, size);
    return extend_table(crc, data, size);
}

} // namespace crc32c
