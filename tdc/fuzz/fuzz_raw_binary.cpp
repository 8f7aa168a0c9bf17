// The binary raw-tag file reader over any file, and the block decoder over any block. The
// reader reads blocks until the clean end or the first damage, which it names; the decoder
// never reads outside the block and never appends anything for a block it refuses.
//
// Input: a flag byte, then the bytes. Flag bit 0: the bytes are one block, handed to the
// decoder directly. Bit 1: the harness puts right CRCs into the header and blocks it can
// find, so that the fuzzer gets past them to the payloads.

#include "fuzz_input.h"

#include "tdc/rawformat.h"
#include "tdc/rawreader.h"

#include <vetra/crc32c.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

std::uint32_t get32(const std::vector<std::uint8_t> &b, std::size_t at)
{
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void putCrc(std::vector<std::uint8_t> &b, std::size_t from, std::size_t crcAt)
{
    const std::uint32_t crc = crc32c::value(b.data() + from, crcAt - from);
    std::memcpy(b.data() + crcAt, &crc, 4);
}

// Right CRCs wherever the structure can be followed.
void fixCrcs(std::vector<std::uint8_t> &b, std::size_t at)
{
    while (at + tdcraw::blockHeaderBytes <= b.size()) {
        const std::uint64_t total = tdcraw::blockHeaderBytes + std::uint64_t(get32(b, at + 4)) + tdcraw::crcBytes;
        if (total > b.size() - at)
            return;
        putCrc(b, at, at + std::size_t(total) - tdcraw::crcBytes);
        at += std::size_t(total);
    }
}

bool nonDecreasing(const std::vector<tdcraw::measurement> &tags)
{
    for (std::size_t i = 1; i < tags.size(); ++i)
        if (tags[i].tag < tags[i - 1].tag)
            return false;
    return true;
}

bool sameTags(const std::vector<tdcraw::measurement> &a, const std::vector<tdcraw::measurement> &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto &x, const auto &y) {
               return x.channel == y.channel && x.edge == y.edge && x.tag == y.tag;
           });
}

void block(std::vector<std::uint8_t> bytes, bool fix)
{
    if (fix)
        fixCrcs(bytes, 0);
    std::vector<tdcraw::measurement> tags{{1, 1, 5}};
    std::vector<tdcraw::loss> markers{{2, 3, 4}};
    const auto ec = tdcraw::decodeBlock(bytes.data(), bytes.size(), tags, markers);
    if (ec) {
        FUZZ_CHECK(tags.size() == 1 && markers.size() == 1);
        return;
    }
    tags.erase(tags.begin());
    markers.erase(markers.begin());
    for (const auto &t : tags)
        FUZZ_CHECK(t.channel < 64 && (t.edge == 1 || t.edge == 2));
    for (const auto &m : markers)
        FUZZ_CHECK(m.channel < 64);
    // A block the writer could have made reads back the same once written again.
    if (nonDecreasing(tags) && std::all_of(tags.begin(), tags.end(), [](const auto &t) { return t.channel < 64; })) {
        std::vector<std::uint8_t> again;
        tdcraw::encodeBlock(tags.data(), tags.size(), markers.data(), markers.size(), again);
        std::vector<tdcraw::measurement> tags2;
        std::vector<tdcraw::loss> markers2;
        FUZZ_CHECK(!tdcraw::decodeBlock(again.data(), again.size(), tags2, markers2));
        FUZZ_CHECK(sameTags(tags, tags2));
        FUZZ_CHECK(markers2.size() == markers.size());
    }
}

void file(std::vector<std::uint8_t> bytes, bool fix)
{
    if (fix && bytes.size() >= tdcraw::headerFixedBytes) {
        const std::uint32_t total = get32(bytes, 12);
        if (total >= tdcraw::headerFixedBytes + tdcraw::crcBytes && total <= bytes.size()) {
            putCrc(bytes, 0, total - tdcraw::crcBytes);
            fixCrcs(bytes, total);
        }
    }
    const std::string path = fuzz::temporaryFolder() + "/input.bin";
    // A fresh file rather than a truncated one: ext4 writes a file out on the close that follows
    // a truncation, which made each input cost a disk write.
    std::remove(path.c_str());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        FUZZ_CHECK(out.good());
    }
    tdcraw::Reader reader;
    if (reader.open(path)) {
        FUZZ_CHECK(!reader.errorText().empty());
        return;
    }
    std::vector<tdcraw::measurement> tags;
    std::vector<tdcraw::loss> markers;
    // Every block takes at least its header and CRC, so the loop ends.
    for (std::size_t blocks = 0;; ++blocks) {
        FUZZ_CHECK(blocks <= bytes.size() / (tdcraw::blockHeaderBytes + tdcraw::crcBytes));
        bool end = false;
        const std::uint64_t before = reader.offset();
        const auto ec = reader.next(tags, markers, end);
        if (ec) {
            FUZZ_CHECK(!reader.errorText().empty());
            FUZZ_CHECK(reader.offset() == before);
            return;
        }
        if (end) {
            FUZZ_CHECK(reader.offset() == bytes.size());
            return;
        }
        FUZZ_CHECK(reader.offset() > before && reader.offset() <= bytes.size());
    }
}

} // namespace

int fuzz_raw_binary(const std::uint8_t *data, std::size_t size)
{
    fuzz::input in(data, size);
    const unsigned flags = in.byte();
    if (flags & 1)
        block(in.rest(), flags & 2);
    else
        file(in.rest(), flags & 2);
    return 0;
}
