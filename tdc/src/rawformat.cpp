#include "tdc/rawformat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>

#include <immintrin.h>

#include <vetra/crc32c.h>

namespace tdcraw {

namespace {

class RawCategory : public std::error_category {
public:
    const char *name() const noexcept override { return "tdc raw file"; }
    std::string message(int e) const override
    {
        switch (static_cast<rawError>(e)) {
        case rawError::ok: return "Success";
        case rawError::badMagic: return "Not a raw tag file (wrong magic)";
        case rawError::badVersion: return "Raw tag file of an unknown version";
        case rawError::badHeader: return "Damaged raw tag file header";
        case rawError::truncatedHeader: return "Raw tag file header cut short";
        case rawError::truncatedBlock: return "Raw tag block cut short";
        case rawError::badCrc: return "Raw tag block fails its CRC";
        case rawError::badBlock: return "Damaged raw tag block";
        case rawError::io: return "Cannot read the raw tag file";
        case rawError::maxFiles: return "The maximum number of raw files is reached";
        }
        return "Unknown raw tag file error";
    }
};

template <typename T> void put(std::uint8_t *p, T v) { std::memcpy(p, &v, sizeof v); }
template <typename T> T get(const std::uint8_t *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Bits for the channel-and-edge field of every record of a block.
std::uint8_t channelBitsFor(const measurement *tags, std::size_t count)
{
    unsigned top = 0;
    for (std::size_t i = 0; i < count; ++i)
        top |= tags[i].channel;
    unsigned bits = 1;
    while ((top >> (bits - 1)) != 0)
        ++bits;
    return static_cast<std::uint8_t>(bits);
}

// The Rice parameter for geometric-like gaps of the given mean.
std::uint8_t riceBitsFor(std::uint64_t span, std::size_t gaps)
{
    if (gaps == 0)
        return 0;
    const double mean = static_cast<double>(span) / static_cast<double>(gaps) * 0.6931;
    if (mean < 2)
        return 0;
    return static_cast<std::uint8_t>(std::min(63, static_cast<int>(std::floor(std::log2(mean)))));
}

// Little-endian bit packing, least significant bit first. The bits gather in a 64-bit word
// that is stored whole after every put, and the position moves on by the bytes completed: no
// branch per record. The stores reach up to 8 bytes past the last complete byte, which
// maxBlockBytes leaves room for.
class BitWriter {
public:
    explicit BitWriter(std::uint8_t *out) : out_(out) {}
    // bits <= 56, value < 2^bits
    void put(std::uint64_t value, unsigned bits)
    {
        acc_ |= value << used_;
        used_ += bits;
        tdcraw::put<std::uint64_t>(out_, acc_);
        out_ += used_ >> 3;
        acc_ >>= used_ & ~7u;
        used_ &= 7;
    }
    void putWide(std::uint64_t value, unsigned bits)
    {
        if (bits > 32) {
            put(value & 0xFFFFFFFFu, 32);
            put(value >> 32, bits - 32);
        } else {
            put(value, bits);
        }
    }
    // The last partial byte; returns the end of the written bytes.
    std::uint8_t *finish()
    {
        if (used_ > 0)
            *out_++ = static_cast<std::uint8_t>(acc_);
        acc_ = 0;
        used_ = 0;
        return out_;
    }

private:
    std::uint8_t *out_;
    std::uint64_t acc_ = 0;
    unsigned used_ = 0; // bits in acc_, at most 7 between puts
};

// The most bits one put may take.
constexpr unsigned maxPutBits = 56;

constexpr unsigned escapeOnes = 32;

inline std::uint64_t mask(unsigned bits) { return bits >= 64 ? ~0ull : ((1ull << bits) - 1); }

} // namespace

const std::error_category &raw_category() noexcept
{
    static const RawCategory category;
    return category;
}

std::error_code make_error_code(rawError e) noexcept { return {static_cast<int>(e), raw_category()}; }

std::vector<std::uint8_t> encodeHeader(const FileHeader &h)
{
    const auto jsonBytes = static_cast<std::uint32_t>(h.settingsJson.size());
    std::vector<std::uint8_t> out(headerFixedBytes + jsonBytes + crcBytes);
    std::memcpy(out.data(), magic, sizeof magic);
    put<std::uint32_t>(&out[8], version);
    put<std::uint32_t>(&out[12], static_cast<std::uint32_t>(out.size()));
    put<double>(&out[16], h.tagUnit);
    put<std::uint32_t>(&out[24], h.channels);
    put<std::uint32_t>(&out[28], h.fileNumber);
    put<std::int64_t>(&out[32], h.startTimeNs);
    put<std::uint32_t>(&out[40], jsonBytes);
    std::memcpy(&out[headerFixedBytes], h.settingsJson.data(), jsonBytes);
    put<std::uint32_t>(&out[headerFixedBytes + jsonBytes],
                       crc32c::value(out.data(), headerFixedBytes + jsonBytes));
    return out;
}

std::error_code decodeHeader(const std::uint8_t *data, std::size_t size, FileHeader &h, std::size_t &used)
{
    if (size < sizeof magic)
        return std::memcmp(data, magic, size) == 0 ? rawError::truncatedHeader : rawError::badMagic;
    if (std::memcmp(data, magic, sizeof magic) != 0)
        return rawError::badMagic;
    if (size < 12)
        return rawError::truncatedHeader;
    if (get<std::uint32_t>(data + 8) != version)
        return rawError::badVersion;
    if (size < headerFixedBytes)
        return rawError::truncatedHeader;
    const auto total = get<std::uint32_t>(data + 12);
    const auto jsonBytes = get<std::uint32_t>(data + 40);
    if (jsonBytes > maxSettingsBytes || total != headerFixedBytes + jsonBytes + crcBytes)
        return rawError::badHeader;
    if (size < total)
        return rawError::truncatedHeader;
    if (get<std::uint32_t>(data + total - crcBytes) != crc32c::value(data, total - crcBytes))
        return rawError::badHeader;
    h.tagUnit = get<double>(data + 16);
    h.channels = get<std::uint32_t>(data + 24);
    h.fileNumber = get<std::uint32_t>(data + 28);
    h.startTimeNs = get<std::int64_t>(data + 32);
    h.settingsJson.assign(reinterpret_cast<const char *>(data + headerFixedBytes), jsonBytes);
    if (!(h.tagUnit > 0) || !std::isfinite(h.tagUnit))
        return rawError::badHeader;
    used = total;
    return {};
}

std::size_t encodeBlock(const measurement *tags, std::size_t count, const loss *markers, std::size_t markerCount,
                        std::vector<std::uint8_t> &out)
{
    const std::size_t start = out.size();
    out.resize(start + maxBlockBytes(count, markerCount));
    const std::size_t used = encodeBlock(tags, count, markers, markerCount, out.data() + start);
    out.resize(start + used);
    return used;
}

namespace {

unsigned bitsFor(unsigned channelAndEdgeBits)
{
    unsigned bits = 1;
    while ((channelAndEdgeBits >> bits) != 0)
        ++bits;
    return bits;
}

// Codes a block's records one after the other: the gap to the previous tag, `cb` bits of
// channel and edge, Rice parameter `k`.
struct RecordCoder {
    RecordCoder(std::uint8_t *out, std::uint64_t base, unsigned channelBits, unsigned riceBits)
        : bits(out), previous(base), cb(channelBits), k(riceBits), low(mask(riceBits)),
          escapeAt(static_cast<std::uint64_t>(escapeOnes) << riceBits),
          // Gaps with a quotient below this fit one put with their channel: one test per
          // record for both the escape and the width.
          fastQuotients(cb + 1 + k > maxPutBits ? 0 : std::min<std::uint64_t>(escapeOnes, maxPutBits - cb - k))
    {
    }

    __attribute__((always_inline)) void one(const measurement &m)
    {
        const std::uint64_t delta = m.tag - previous;
        previous = m.tag;
        const unsigned ce = static_cast<unsigned>(m.channel) << 1 | (m.edge == 2 ? 1u : 0u);
        all |= ce;
        const std::uint64_t q = delta >> k;
        if (q < fastQuotients) {
            // channel and edge, q ones and a zero, then the k low bits of the gap (q < 32 here)
            const auto n = static_cast<unsigned>(q);
            const std::uint64_t ones = (1ull << n) - 1;
            bits.put(ce | (((delta & low) << (n + 1) | ones) << cb), cb + n + 1 + k);
        } else if (delta < escapeAt) {
            const auto n = static_cast<unsigned>(q);
            bits.put(ce, cb);
            bits.put(mask(n), n + 1);
            bits.putWide(delta & low, k);
        } else {
            bits.put(ce, cb);
            bits.put(0xFFFFFFFFu, escapeOnes);
            bits.putWide(delta, 64);
        }
    }

    BitWriter bits;
    std::uint64_t previous;
    unsigned all = 0; // OR of every record's channel-and-edge field
    const unsigned cb;
    const unsigned k;
    const std::uint64_t low;
    const std::uint64_t escapeAt;
    const std::uint64_t fastQuotients;
};

// The records of a block with `cb` bits of channel and edge; returns the end of the bit
// stream, and in `seen` the OR of every record's channel-and-edge field.
__attribute__((always_inline)) inline std::uint8_t *encodeRecordsBody(const measurement *tags, std::size_t count,
                                                                      std::uint64_t base, unsigned cb, unsigned k,
                                                                      std::uint8_t *out, unsigned &seen)
{
    RecordCoder c(out, base, cb, k);
    for (std::size_t i = 0; i < count; ++i)
        c.one(tags[i]);
    seen = c.all;
    return c.bits.finish();
}

// The same code compiled for processors with BMI2: variable shifts that need not go through
// one register leave the compiler room for the packing's long chain of dependent operations.
__attribute__((target("bmi2"))) std::uint8_t *encodeRecordsBmi2(const measurement *tags, std::size_t count,
                                                                std::uint64_t base, unsigned cb, unsigned k,
                                                                std::uint8_t *out, unsigned &seen)
{
    return encodeRecordsBody(tags, count, base, cb, k, out, seen);
}

// With AVX2 the records are coded in two passes over runs of tags: first the bits and width
// of four records at a time in vectors (records do not depend on each other once the gaps are
// known), then the packing alone. A run with an escape is coded record by record.
__attribute__((target("avx2,bmi2"))) std::uint8_t *encodeRecordsAvx2(const measurement *tags, std::size_t count,
                                                                     std::uint64_t base, unsigned cb, unsigned k,
                                                                     std::uint8_t *out, unsigned &seen)
{
    static_assert(sizeof(measurement) == 16 && offsetof(measurement, channel) == 0 &&
                      offsetof(measurement, edge) == 1 && offsetof(measurement, tag) == 8,
                  "the layout the vector loads assume");
    RecordCoder c(out, base, cb, k);
    if (c.fastQuotients == 0) {
        for (std::size_t i = 0; i < count; ++i)
            c.one(tags[i]);
        seen = c.all;
        return c.bits.finish();
    }
    constexpr std::size_t run = 256;
    alignas(32) std::uint64_t value[run];
    alignas(32) std::uint64_t width[run];
    // Two neighbours in one put, when they fit together: half the packing's chain.
    alignas(32) std::uint64_t pairValue[run / 2];
    alignas(32) std::uint64_t pairWidth[run / 2];
    const __m128i widestPair = _mm_set1_epi64x(maxPutBits);
    const __m128i riceShift = _mm_cvtsi32_si128(static_cast<int>(k));
    const __m128i channelShift = _mm_cvtsi32_si128(static_cast<int>(cb));
    const __m256i sign = _mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ull));
    // q >= fast as a signed comparison of q - 2^63 with fast - 1 - 2^63
    const __m256i lastFast = _mm256_xor_si256(_mm256_set1_epi64x(static_cast<long long>(c.fastQuotients - 1)), sign);
    const __m256i low = _mm256_set1_epi64x(static_cast<long long>(c.low));
    const __m256i one = _mm256_set1_epi64x(1);
    const __m256i byte = _mm256_set1_epi64x(0xFF);
    const __m256i falling = _mm256_set1_epi64x(2);
    const __m256i fixed = _mm256_set1_epi64x(static_cast<long long>(cb + 1 + k));
    std::size_t at = 0;
    while (at + 4 <= count) {
        const std::size_t n = std::min(run, (count - at) & ~std::size_t{3});
        const measurement *m = tags + at;
        __m256i previous = _mm256_set1_epi64x(static_cast<long long>(c.previous));
        __m256i slow = _mm256_setzero_si256();
        __m256i ces = _mm256_setzero_si256();
        __m128i wide = _mm_setzero_si128();
        for (std::size_t j = 0; j < n; j += 4) {
            // [head0 tag0 head1 tag1] [head2 tag2 head3 tag3] -> heads and tags in order
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(m + j));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(m + j + 2));
            const __m256i t = _mm256_permute4x64_epi64(_mm256_unpackhi_epi64(a, b), 0xD8);
            const __m256i h = _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(a, b), 0xD8);
            // the tag before each: [previous t0 t1 t2]
            const __m256i before = _mm256_blend_epi32(_mm256_permute4x64_epi64(t, 0x90), previous, 0x03);
            previous = _mm256_permute4x64_epi64(t, 0xFF);
            const __m256i delta = _mm256_sub_epi64(t, before);
            const __m256i q = _mm256_srl_epi64(delta, riceShift);
            const __m256i isSlow = _mm256_cmpgt_epi64(_mm256_xor_si256(q, sign), lastFast);
            slow = _mm256_or_si256(slow, isSlow);
            const __m256i qs = _mm256_andnot_si256(isSlow, q); // keeps the shifts in range
            const __m256i edgeBit =
                _mm256_and_si256(_mm256_cmpeq_epi64(_mm256_and_si256(_mm256_srli_epi64(h, 8), byte), falling), one);
            const __m256i ce = _mm256_or_si256(_mm256_slli_epi64(_mm256_and_si256(h, byte), 1), edgeBit);
            ces = _mm256_or_si256(ces, ce);
            const __m256i ones = _mm256_sub_epi64(_mm256_sllv_epi64(one, qs), one);
            const __m256i rest = _mm256_sllv_epi64(_mm256_and_si256(delta, low), _mm256_add_epi64(qs, one));
            const __m256i v = _mm256_or_si256(ce, _mm256_sll_epi64(_mm256_or_si256(rest, ones), channelShift));
            const __m256i w = _mm256_add_epi64(fixed, qs);
            _mm256_store_si256(reinterpret_cast<__m256i *>(value + j), v);
            _mm256_store_si256(reinterpret_cast<__m256i *>(width + j), w);
            // [v0 | v1 << w0, v2 | v3 << w2] and their widths
            const __m256i shifted = _mm256_sllv_epi64(v, _mm256_slli_si256(w, 8));
            const __m256i pv = _mm256_or_si256(shifted, _mm256_srli_si256(shifted, 8));
            const __m256i pw = _mm256_add_epi64(w, _mm256_srli_si256(w, 8));
            const __m128i pairV = _mm256_castsi256_si128(_mm256_permute4x64_epi64(pv, 0x08));
            const __m128i pairW = _mm256_castsi256_si128(_mm256_permute4x64_epi64(pw, 0x08));
            _mm_store_si128(reinterpret_cast<__m128i *>(pairValue + j / 2), pairV);
            _mm_store_si128(reinterpret_cast<__m128i *>(pairWidth + j / 2), pairW);
            wide = _mm_or_si128(wide, _mm_cmpgt_epi64(pairW, widestPair));
        }
        if (!_mm256_testz_si256(slow, slow)) {
            for (std::size_t j = 0; j < n; ++j)
                c.one(m[j]);
        } else {
            if (_mm_testz_si128(wide, wide)) {
                for (std::size_t p = 0; p < n / 2; ++p)
                    c.bits.put(pairValue[p], static_cast<unsigned>(pairWidth[p]));
            } else {
                for (std::size_t j = 0; j < n; ++j)
                    c.bits.put(value[j], static_cast<unsigned>(width[j]));
            }
            c.previous = m[n - 1].tag;
            alignas(32) std::uint64_t lanes[4];
            _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), ces);
            c.all |= static_cast<unsigned>(lanes[0] | lanes[1] | lanes[2] | lanes[3]);
        }
        at += n;
    }
    for (; at < count; ++at)
        c.one(tags[at]);
    seen = c.all;
    return c.bits.finish();
}

std::uint8_t *encodeRecordsPlain(const measurement *tags, std::size_t count, std::uint64_t base, unsigned cb,
                                 unsigned k, std::uint8_t *out, unsigned &seen)
{
    return encodeRecordsBody(tags, count, base, cb, k, out, seen);
}

using EncodeRecords = std::uint8_t *(*)(const measurement *, std::size_t, std::uint64_t, unsigned, unsigned,
                                        std::uint8_t *, unsigned &);
const EncodeRecords encodeRecords = [] {
    __builtin_cpu_init(); // may run before the run time's own constructors
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2"))
        return encodeRecordsAvx2;
    return __builtin_cpu_supports("bmi2") ? encodeRecordsBmi2 : encodeRecordsPlain;
}();

} // namespace

std::size_t encodeBlock(const measurement *tags, std::size_t count, const loss *markers, std::size_t markerCount,
                        std::uint8_t *const head)
{
    std::uint8_t channelBits = 0;
    return encodeBlock(tags, count, markers, markerCount, head, channelBits);
}

std::size_t encodeBlock(const measurement *tags, std::size_t count, const loss *markers, std::size_t markerCount,
                        std::uint8_t *const head, std::uint8_t &channelBits)
{
    const std::uint64_t base = count ? tags[0].tag : 0;
    const std::uint8_t k = riceBitsFor(count ? tags[count - 1].tag - base : 0, count ? count - 1 : 0);
    // The channel field is as wide as the block's highest channel needs. A good guess saves a
    // pass over the tags just to find it; a wrong one costs a second encoding.
    unsigned cb = channelBits >= 1 && channelBits <= 7 ? channelBits : channelBitsFor(tags, count);
    unsigned seen = 0;
    std::uint8_t *p = encodeRecords(tags, count, base, cb, k, head + blockHeaderBytes, seen);
    if (bitsFor(seen) != cb) {
        cb = bitsFor(seen);
        p = encodeRecords(tags, count, base, cb, k, head + blockHeaderBytes, seen);
    }
    channelBits = static_cast<std::uint8_t>(cb);

    for (std::size_t i = 0; i < markerCount; ++i) {
        *p = markers[i].channel;
        put<std::uint64_t>(p + 1, markers[i].count);
        put<std::uint64_t>(p + 9, markers[i].tag);
        p += markerBytes;
    }
    const auto payload = static_cast<std::uint32_t>(p - head - blockHeaderBytes);
    put<std::uint32_t>(head, blockMagic);
    put<std::uint32_t>(head + 4, payload);
    put<std::uint32_t>(head + 8, static_cast<std::uint32_t>(count));
    put<std::uint32_t>(head + 12, static_cast<std::uint32_t>(markerCount));
    put<std::uint64_t>(head + 16, base);
    head[24] = k;
    head[25] = static_cast<std::uint8_t>(cb);
    head[26] = 0;
    head[27] = 0;
    put<std::uint32_t>(p, crc32c::value(head, static_cast<std::size_t>(p - head)));
    p += crcBytes;
    return static_cast<std::size_t>(p - head);
}

std::error_code decodeBlockHeader(const std::uint8_t *data, BlockHeader &h)
{
    if (get<std::uint32_t>(data) != blockMagic)
        return rawError::badBlock;
    h.payloadBytes = get<std::uint32_t>(data + 4);
    h.tags = get<std::uint32_t>(data + 8);
    h.markers = get<std::uint32_t>(data + 12);
    h.baseTag = get<std::uint64_t>(data + 16);
    h.riceBits = data[24];
    h.channelBits = data[25];
    if (h.payloadBytes > maxBlockPayload || h.tags > maxBlockTags || h.riceBits > 63 || h.channelBits < 1 ||
        h.channelBits > 7 || data[26] != 0 || data[27] != 0 ||
        static_cast<std::uint64_t>(h.markers) * markerBytes > h.payloadBytes)
        return rawError::badBlock;
    return {};
}

std::error_code decodeBlock(const std::uint8_t *data, std::size_t size, std::vector<measurement> &tags,
                            std::vector<loss> &markers)
{
    if (size < blockHeaderBytes)
        return rawError::truncatedBlock;
    BlockHeader h;
    if (const auto ec = decodeBlockHeader(data, h))
        return ec;
    const std::size_t total = blockHeaderBytes + h.payloadBytes + crcBytes;
    if (size < total)
        return rawError::truncatedBlock;
    if (size > total)
        return rawError::badBlock;
    if (get<std::uint32_t>(data + total - crcBytes) != crc32c::value(data, total - crcBytes))
        return rawError::badCrc;

    const std::uint8_t *stream = data + blockHeaderBytes;
    const std::size_t streamBytes = h.payloadBytes - h.markers * markerBytes;
    // The reader below looks up to 8 bytes ahead; a padded copy of the tail keeps it inside.
    std::vector<std::uint8_t> tail;
    const std::size_t safeBytes = streamBytes >= 16 ? streamBytes - 16 : 0;
    const std::uint64_t limitBits = static_cast<std::uint64_t>(streamBytes) * 8;
    // Every tag takes at least its channel bits and the stop bit of its gap: a count the
    // payload cannot hold is refused before room is made for it.
    if (static_cast<std::uint64_t>(h.tags) * (h.channelBits + 1u) > limitBits)
        return rawError::badBlock;
    const std::size_t firstTag = tags.size();
    tags.resize(firstTag + h.tags);
    measurement *out = tags.data() + firstTag;

    std::uint64_t pos = 0;
    auto window = [&](std::uint64_t at) -> std::uint64_t {
        const std::size_t byte = static_cast<std::size_t>(at >> 3);
        std::uint64_t w;
        if (byte < safeBytes) {
            std::memcpy(&w, stream + byte, 8);
        } else {
            if (tail.empty()) {
                tail.assign(stream + safeBytes, stream + streamBytes);
                tail.resize(tail.size() + 32, 0);
            }
            std::memcpy(&w, tail.data() + (byte - safeBytes), 8);
        }
        return w >> (at & 7);
    };
    auto take = [&](unsigned n) -> std::uint64_t {
        if (n == 0)
            return 0;
        std::uint64_t v = window(pos);
        if (n > 32) {
            v &= 0xFFFFFFFFu;
            pos += 32;
            v |= (window(pos) & mask(n - 32)) << 32;
            pos += n - 32;
            return v;
        }
        pos += n;
        return v & mask(n);
    };

    const unsigned cb = h.channelBits;
    const unsigned k = h.riceBits;
    std::uint64_t time = h.baseTag;
    for (std::uint32_t i = 0; i < h.tags; ++i) {
        if (pos + cb + 1 > limitBits) {
            tags.resize(firstTag);
            return rawError::badBlock;
        }
        const auto ce = static_cast<unsigned>(take(cb));
        const std::uint64_t ahead = window(pos);
        // 64 ones ahead leave no zero to find (and ctz of zero is undefined): an escape.
        const unsigned q = ~ahead ? static_cast<unsigned>(__builtin_ctzll(~ahead)) : 64u;
        std::uint64_t delta;
        if (q >= escapeOnes) {
            pos += escapeOnes;
            delta = take(64);
        } else {
            pos += q + 1;
            delta = (static_cast<std::uint64_t>(q) << k) | take(k);
        }
        time += delta;
        out[i].channel = static_cast<std::uint8_t>(ce >> 1);
        out[i].edge = static_cast<std::uint8_t>((ce & 1) + 1);
        out[i].tag = time;
    }
    if (pos > limitBits || (limitBits - pos) >= 8) {
        tags.resize(firstTag);
        return rawError::badBlock;
    }
    const std::uint8_t *m = stream + streamBytes;
    for (std::uint32_t i = 0; i < h.markers; ++i, m += markerBytes) {
        if (*m >= 64) {
            tags.resize(firstTag);
            markers.resize(markers.size() - i);
            return rawError::badBlock;
        }
        markers.push_back({*m, get<std::uint64_t>(m + 1), get<std::uint64_t>(m + 9)});
    }
    return {};
}

namespace {
constexpr char digitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                              "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                              "8081828384858687888990919293949596979899";

inline char *writeUnsigned(char *p, std::uint64_t v)
{
    char buffer[20];
    char *end = buffer + 20;
    char *q = end;
    while (v >= 100) {
        const auto r = static_cast<unsigned>(v % 100);
        v /= 100;
        q -= 2;
        std::memcpy(q, digitPairs + 2 * r, 2);
    }
    if (v >= 10) {
        q -= 2;
        std::memcpy(q, digitPairs + 2 * v, 2);
    } else {
        *--q = static_cast<char>('0' + v);
    }
    const auto n = static_cast<std::size_t>(end - q);
    std::memcpy(p, q, n);
    return p + n;
}
} // namespace

std::size_t appendCsvRows(const measurement *tags, std::size_t count, char *out, std::size_t used)
{
    char *p = out + used;
    for (std::size_t i = 0; i < count; ++i) {
        p = writeUnsigned(p, tags[i].channel);
        *p++ = ',';
        *p++ = static_cast<char>('0' + (tags[i].edge % 10));
        *p++ = ',';
        p = writeUnsigned(p, tags[i].tag);
        *p++ = '\n';
    }
    return static_cast<std::size_t>(p - out);
}

std::string csvMarker(const loss &l)
{
    return "#lost," + std::to_string(l.channel) + "," + std::to_string(l.count) + "," + std::to_string(l.tag) + "\n";
}

namespace {
// Comma-separated fields of plain digits, exactly `n` of them filling the whole text. Signs,
// spaces and numbers past 64 bits are damage, not something to read leniently: a wrapped
// "-1" would pass as an enormous count.
bool fields(const char *p, const char *end, std::uint64_t *out, int n)
{
    for (int i = 0; i < n; ++i) {
        const char *stop = i + 1 < n ? static_cast<const char *>(std::memchr(p, ',', std::size_t(end - p))) : end;
        if (!stop || stop == p)
            return false;
        const auto r = std::from_chars(p, stop, out[i]);
        if (r.ec != std::errc() || r.ptr != stop)
            return false;
        p = stop + 1;
    }
    return true;
}
} // namespace

CsvRow parseCsvRow(const char *line, std::size_t size, measurement &tag, loss &marker)
{
    static constexpr char lost[] = "#lost,";
    const char *end = line + size;
    std::uint64_t v[3];
    if (size >= sizeof lost - 1 && std::memcmp(line, lost, sizeof lost - 1) == 0) {
        if (!fields(line + sizeof lost - 1, end, v, 3) || v[0] >= 64)
            return CsvRow::bad;
        marker = {static_cast<std::uint8_t>(v[0]), v[1], v[2]};
        return CsvRow::marker;
    }
    if (!fields(line, end, v, 3) || v[0] >= 64 || (v[1] != 1 && v[1] != 2))
        return CsvRow::bad;
    tag = {static_cast<std::uint8_t>(v[0]), static_cast<std::uint8_t>(v[1]), v[2]};
    return CsvRow::tag;
}

} // namespace tdcraw
