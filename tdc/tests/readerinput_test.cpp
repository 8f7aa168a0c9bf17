// Readers of outside bytes on input that their fuzz harnesses reached: CSV rows read back
// strictly, module tables from a board that answers with the wrong number of words, blocks
// that claim more tags than their payload can hold, and packets counted the way they decode.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

#include "moduletable.h"
#include "registers.h"
#include "tagdecoder.h"
#include "tdc/rawformat.h"
#include "tdc/tdcerror.h"

#include <vetra/crc32c.h>

namespace {

tdcraw::CsvRow row(const std::string &line, Dorrin::measurement &tag, Dorrin::loss &marker)
{
    return tdcraw::parseCsvRow(line.data(), line.size(), tag, marker);
}

} // namespace

TEST(CsvRows, TagRowsAndMarkersReadBackWhatTheWriterWrote)
{
    Dorrin::measurement tag{};
    Dorrin::loss marker;
    ASSERT_EQ(row("63,2,18446744073709551615", tag, marker), tdcraw::CsvRow::tag);
    EXPECT_EQ(tag.channel, 63);
    EXPECT_EQ(tag.edge, 2);
    EXPECT_EQ(tag.tag, 18446744073709551615ull);
    ASSERT_EQ(row("#lost,3,7,20", tag, marker), tdcraw::CsvRow::marker);
    EXPECT_EQ(marker.channel, 3);
    EXPECT_EQ(marker.count, 7u);
    EXPECT_EQ(marker.tag, 20u);
    // The writer's own text of a marker, without its line end.
    const std::string written = tdcraw::csvMarker({5, 100, 200});
    ASSERT_EQ(row(written.substr(0, written.size() - 1), tag, marker), tdcraw::CsvRow::marker);
    EXPECT_EQ(marker.count, 100u);
}

TEST(CsvRows, SignsSpacesOverflowAndOutOfRangeFieldsAreDamage)
{
    Dorrin::measurement tag{};
    Dorrin::loss marker;
    // A scanf-style reader took "-1" as 2^64 - 1 lost tags and " 1" or "+1" as 1.
    for (const char *bad : {"#lost,1,-1,5", "#lost,-1,1,5", "-1,1,5", " 1,1,5", "+1,1,5", "1,1,5 ", "1,1,5\r",
                            "1,1,18446744073709551616", "64,1,5", "#lost,64,1,5", "1,3,5", "1,0,5", "1,1",
                            "1,1,5,6", "1,,5", "", "#lost,1,2", "channel,edge,tag"})
        EXPECT_EQ(row(bad, tag, marker), tdcraw::CsvRow::bad) << '"' << bad << '"';
    const std::string nul("1,1,5\0" "9", 7);
    EXPECT_EQ(row(nul, tag, marker), tdcraw::CsvRow::bad);
}

TEST(ModuleTableReader, AnAnswerOfTheWrongLengthIsRefusedNotIndexed)
{
    using namespace tdcregs::table;
    for (const std::size_t entryWordsGiven : {std::size_t(0), std::size_t(5), std::size_t(9)}) {
        const TableRead read = [&](std::uint32_t at, std::uint32_t count, std::vector<std::uint32_t> &words) {
            if (at == address)
                words = {magic, format, 1, entryWords};
            else
                words.assign(entryWordsGiven, 0x2000);
            (void)count;
            return std::error_code();
        };
        try {
            readModuleTable(read);
            ADD_FAILURE() << "a short answer of " << entryWordsGiven << " words was taken";
        } catch (const std::runtime_error &e) {
            EXPECT_NE(std::string(e.what()).find("Cannot read the board's module table"), std::string::npos) << e.what();
        }
    }
}

TEST(ModuleTableReader, ReadsAGoodTableThroughAnyReader)
{
    using namespace tdcregs::table;
    int timeouts = 2;
    const TableRead read = [&](std::uint32_t at, std::uint32_t count, std::vector<std::uint32_t> &words) {
        if (timeouts-- > 0)
            return make_error_code(tdcError::timeout);
        if (at == address)
            words = {magic, format, 2, entryWords};
        else
            words = {7, 0x10002, 3, 0x10000, 0, 0x2000, 0x100, 0, 9, 0, 0, 0, 0, 0x1000, 0x1000, 0};
        EXPECT_EQ(words.size(), count);
        return std::error_code();
    };
    const auto entries = readModuleTable(read);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].typeID, 7u);
    EXPECT_EQ(entries[0].hw.major, 1);
    EXPECT_EQ(entries[0].hw.minor, 2);
    EXPECT_EQ(entries[0].hw.patch, 3);
    EXPECT_EQ(entries[1].base, 0x1000u);
    EXPECT_EQ(entries[1].size, 0x1000u);
}

TEST(RawBlocks, ATagCountThePayloadCannotHoldIsRefusedUpFront)
{
    const std::vector<Dorrin::measurement> tags{{1, 1, 10}, {2, 2, 12}};
    std::vector<std::uint8_t> block;
    tdcraw::encodeBlock(tags.data(), tags.size(), nullptr, 0, block);
    // Claim a million tags in the same few payload bytes, with a right CRC.
    const std::uint32_t many = 1u << 20;
    std::memcpy(block.data() + 8, &many, 4);
    const std::uint32_t crc = crc32c::value(block.data(), block.size() - 4);
    std::memcpy(block.data() + block.size() - 4, &crc, 4);
    std::vector<Dorrin::measurement> out{{9, 1, 1}};
    std::vector<Dorrin::loss> markers;
    EXPECT_EQ(tdcraw::decodeBlock(block.data(), block.size(), out, markers), tdcraw::rawError::badBlock);
    EXPECT_EQ(out.size(), 1u);
    EXPECT_GE(out.capacity(), 1u);
    EXPECT_LT(out.capacity(), std::size_t(many)) << "room was made for tags the block cannot hold";
}

TEST(TagWire, ACountedPacketTimesItsFirstTagAsTheDecoderDoes)
{
    // Epoch, then epoch high, then a tag: the high bits apply to the tag at once.
    const std::uint32_t words[] = {tagwire::epochLowType | 0x10, tagwire::epochHighType | 0x071, (2u << 25) | 0x7FFE};
    std::vector<Dorrin::measurement> tags;
    std::vector<tagwire::Loss> losses;
    std::size_t consumed = 0;
    ASSERT_FALSE(tagwire::decode(words, 3, tags, losses, consumed));
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].tag, (0x071ull << 52) | (0x10ull << 24) | 0x7FFE);
    std::array<std::uint64_t, 64> perChannel{}, lost{};
    std::uint64_t first = 0;
    tagwire::count(words, 3, perChannel.data(), lost.data(), first);
    EXPECT_EQ(first, tags[0].tag);
    EXPECT_EQ(perChannel[2], 1u);
}
