// vetra-cli's command line: what is accepted, and the clear error for what is not.

#include "cli_args.h"

#include <gtest/gtest.h>

using vetra_cli::command;
using vetra_cli::parse;

namespace {

std::string errorOf(const std::vector<std::string> &words)
{
    const auto result = parse(words);
    EXPECT_FALSE(result.args) << "accepted: " << ::testing::PrintToString(words);
    return result.error;
}

} // namespace

TEST(CliNumbers, DecimalAndHexWithinRange)
{
    using vetra_cli::parseNumber;
    EXPECT_EQ(parseNumber("0", 10), 0u);
    EXPECT_EQ(parseNumber("4096", 0xFFFFFFFF), 4096u);
    EXPECT_EQ(parseNumber("0x1F", 255), 31u);
    EXPECT_EQ(parseNumber("0XdeadBEEF", 0xFFFFFFFF), 0xDEADBEEFu);
    EXPECT_EQ(parseNumber("4294967295", 0xFFFFFFFF), 0xFFFFFFFFu);
    EXPECT_FALSE(parseNumber("4294967296", 0xFFFFFFFF));
    EXPECT_FALSE(parseNumber("0x100000000", 0xFFFFFFFF));
    EXPECT_FALSE(parseNumber("99999999999999999999999", ~0ull)) << "overflow must not wrap";
    EXPECT_FALSE(parseNumber("256", 255));
    EXPECT_FALSE(parseNumber("5", 1)) << "a digit above the maximum";
    for (const char *bad : {"", "0x", "-1", "+1", "12a", "0x1g", " 1", "1 ", "1.0", "abc"})
        EXPECT_FALSE(parseNumber(bad, 0xFFFFFFFF)) << bad;
}

TEST(CliDevice, EveryKindAndItsErrors)
{
    std::map<std::string, std::string> device, options;
    std::string error;
    ASSERT_TRUE(vetra_cli::parseDevice("serial:/dev/pts/3@0x2580", device, options, error));
    EXPECT_EQ(device, (std::map<std::string, std::string>{{"class", "Serial"}, {"name", "/dev/pts/3"}}));
    EXPECT_EQ(options.at("baudrate"), "9600");
    options.clear();
    ASSERT_TRUE(vetra_cli::parseDevice("serial:/dev/ttyUSB0", device, options, error));
    EXPECT_TRUE(options.empty()) << "no baud rate: the transport's default";
    ASSERT_TRUE(vetra_cli::parseDevice("d3xx:FT12345", device, options, error));
    EXPECT_EQ(device, (std::map<std::string, std::string>{{"class", "D3XX"}, {"serialNumber", "FT12345"}}));
    ASSERT_TRUE(vetra_cli::parseDevice("ftdi:A9X", device, options, error));
    EXPECT_EQ(device, (std::map<std::string, std::string>{{"class", "LibFTDI"}, {"serialNumber", "A9X"}}));

    for (const char *bad : {"usb:1", "serial", "serial:", "serial:@9600", "serial:/dev/x@",
                            "serial:/dev/x@fast", "serial:/dev/x@0", "d3xx:", "ftdi:", "", ":x"}) {
        error.clear();
        EXPECT_FALSE(vetra_cli::parseDevice(bad, device, options, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(CliArgs, CommandsWithDefaultsAndOptions)
{
    auto r = parse({"--device", "serial:/dev/pts/1", "read", "0x1000", "4"});
    ASSERT_TRUE(r.args) << r.error;
    EXPECT_EQ(r.args->cmd, command::read);
    EXPECT_EQ(r.args->address, 0x1000u);
    EXPECT_EQ(r.args->count, 4u);
    EXPECT_EQ(r.args->burst, 0);
    EXPECT_EQ(r.args->timeoutMs, 100u);
    EXPECT_EQ(r.args->readStream, 1);
    EXPECT_EQ(r.args->writeStream, 2);

    r = parse({"--timeout", "0x3e8", "--read-stream", "5", "--write-stream", "6", "--device", "d3xx:AB",
               "write", "16", "--burst", "1", "1", "0xFFFFFFFF"});
    ASSERT_TRUE(r.args) << r.error;
    EXPECT_EQ(r.args->cmd, command::write);
    EXPECT_EQ(r.args->timeoutMs, 1000u);
    EXPECT_EQ(r.args->readStream, 5);
    EXPECT_EQ(r.args->writeStream, 6);
    EXPECT_EQ(r.args->address, 16u);
    EXPECT_EQ(r.args->burst, 1);
    EXPECT_EQ(r.args->words, (std::vector<uint32_t>{1, 0xFFFFFFFF}));

    r = parse({"--device", "ftdi:X", "send", "7"});
    ASSERT_TRUE(r.args) << r.error;
    EXPECT_EQ(r.args->cmd, command::send);
    EXPECT_EQ(r.args->stream, 7);
    EXPECT_TRUE(r.args->words.empty()) << "a packet without payload is allowed";

    r = parse({"--device", "ftdi:X", "listen", "0x10", "--count", "3"});
    ASSERT_TRUE(r.args) << r.error;
    EXPECT_EQ(r.args->cmd, command::listen);
    EXPECT_EQ(r.args->stream, 16);
    EXPECT_EQ(r.args->packets, 3u);
    r = parse({"--device", "ftdi:X", "listen", "9"});
    ASSERT_TRUE(r.args);
    EXPECT_FALSE(r.args->packets) << "default: never stop";

    r = parse({"list"});
    ASSERT_TRUE(r.args);
    EXPECT_EQ(r.args->cmd, command::list);
    EXPECT_EQ(parse({"--help"}).args->cmd, command::help);
}

TEST(CliArgs, BadCommandLinesGiveClearErrors)
{
    EXPECT_EQ(errorOf({}), "no command given");
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "erase"}), "unknown command 'erase'");
    EXPECT_EQ(errorOf({"--verbose", "list"}), "unknown option '--verbose'");
    EXPECT_EQ(errorOf({"--device"}), "option --device needs a value");
    EXPECT_EQ(errorOf({"read", "0", "1"}), "read needs --device SPEC");
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "read", "0"}), "read needs ADDR COUNT");
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "read", "0", "1", "2"}), "read needs ADDR COUNT");
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "read", "0", "0"}),
              "bad word count '0' (at least 1 is expected)");
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "read", "zero", "1"}),
              "bad address 'zero' (a number from 0 to 4294967295 is expected)");
    EXPECT_NE(errorOf({"--device", "d3xx:A", "read", "0", "0x200000"}).find("bad word count"),
              std::string::npos)
        << "more words than a request can carry";
    EXPECT_NE(errorOf({"--device", "d3xx:A", "read", "0", "1", "--burst", "2"}).find("bad burst type"),
              std::string::npos);
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "read", "0", "1", "--count", "2"}),
              "unknown option '--count' for read");
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "write", "0"}), "write needs ADDR and at least one WORD");
    EXPECT_NE(errorOf({"--device", "d3xx:A", "write", "0", "0x1ffffffff"}).find("bad word"),
              std::string::npos);
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "send"}), "send needs STREAM");
    EXPECT_NE(errorOf({"--device", "d3xx:A", "send", "256"}).find("bad stream"), std::string::npos);
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "listen", "1", "2"}), "listen takes only STREAM");
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "listen", "1", "--count", "0"}),
              "bad packet count '0' (at least 1 is expected)");
    EXPECT_NE(errorOf({"--timeout", "-5", "--device", "d3xx:A", "send", "1"}).find("bad time-out"),
              std::string::npos);
    EXPECT_NE(errorOf({"--read-stream", "300", "--device", "d3xx:A", "send", "1"}).find("bad stream"),
              std::string::npos);
    EXPECT_NE(errorOf({"--device", "usb:1", "send", "1"}).find("bad device 'usb:1'"), std::string::npos);
    EXPECT_EQ(errorOf({"--device", "d3xx:A", "list"}), "list takes no device and no operands");
}
