// vetra-cli's output formats.

#include "cli_format.h"

#include <gtest/gtest.h>

using namespace vetra_cli;

TEST(CliFormat, JsonStringsAreAlwaysValid)
{
    EXPECT_EQ(jsonString("plain"), "\"plain\"");
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString("\n\r\t\b\f"), "\"\\n\\r\\t\\b\\f\"");
    EXPECT_EQ(jsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\x7f\"");
    EXPECT_EQ(jsonString(std::string("a\0b", 3)), "\"a\\u0000b\"");
    EXPECT_EQ(jsonString("gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80"),
              "\"gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80\"")
        << "valid UTF-8 passes unchanged";
    // Bytes that are not UTF-8 (a Latin-1 product string, a cut sequence, an overlong form, a
    // surrogate) become U+FFFD, and what follows them is kept.
    const std::string replacement = "\xef\xbf\xbd";
    EXPECT_EQ(jsonString("caf\xe9!"), "\"caf" + replacement + "!\"");
    EXPECT_EQ(jsonString("\xe2\x82"), "\"" + replacement + "\"");
    EXPECT_NE(jsonString("\xc0\xaf").find(replacement), std::string::npos);
    EXPECT_NE(jsonString("\xed\xa0\x80").find(replacement), std::string::npos) << "a surrogate";
}

TEST(CliFormat, ObjectsAndWords)
{
    EXPECT_EQ(jsonObject({}), "{}");
    EXPECT_EQ(jsonObject({{"class", "Serial"}, {"name", "/dev/ttyUSB0"}, {"description", "FT232R \"USB\""}}),
              "{\"class\":\"Serial\",\"description\":\"FT232R \\\"USB\\\"\",\"name\":\"/dev/ttyUSB0\"}");
    EXPECT_EQ(hexWord(0), "0x00000000");
    EXPECT_EQ(hexWord(0xDEADBEEF), "0xdeadbeef");
    EXPECT_EQ(wordLine({}), "");
    EXPECT_EQ(wordLine({1, 0xABCDEF01}), "0x00000001 0xabcdef01");
}
