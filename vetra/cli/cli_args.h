#pragma once
// The command line of vetra-cli, parsed into a value without touching any device.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vetra_cli {

enum class command { help, list, read, write, send, listen };

struct arguments {
    command cmd = command::help;
    // From --device SPEC: the device map and the link options that `vetra::open` takes.
    std::map<std::string, std::string> device;
    std::map<std::string, std::string> options;
    std::uint32_t timeoutMs = 100;
    std::uint8_t readStream = 1;
    std::uint8_t writeStream = 2;
    std::uint32_t address = 0;            // read, write
    std::uint32_t count = 0;              // read: words
    std::uint8_t burst = 0;               // read, write
    std::vector<std::uint32_t> words;     // write, send
    std::uint8_t stream = 0;              // send, listen
    std::optional<std::uint64_t> packets; // listen --count
};

struct parse_result {
    std::optional<arguments> args;
    std::string error; // set when args is empty
};

// argv[0] is the program name.
parse_result parse(int argc, const char *const *argv);
parse_result parse(const std::vector<std::string> &words);

// Decimal or 0x-hexadecimal, within [0, max].
std::optional<std::uint64_t> parseNumber(const std::string &text, std::uint64_t max);

// SPEC: serial:PATH[@BAUD] | d3xx:SERIAL | ftdi:SERIAL. False with `error` set when malformed.
bool parseDevice(const std::string &deviceText, std::map<std::string, std::string> &device,
                 std::map<std::string, std::string> &options, std::string &error);

extern const char *const usage;

} // namespace vetra_cli
