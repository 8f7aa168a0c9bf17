#include "cli_args.h"

#include <limits>

namespace vetra_cli {

const char *const usage =
    "Usage:\n"
    "  vetra-cli list\n"
    "  vetra-cli --device SPEC [--timeout MS] [--read-stream N] [--write-stream N] COMMAND\n"
    "    read ADDR COUNT [--burst 0|1]     print the data words, one per line\n"
    "    write ADDR WORD... [--burst 0|1]  write the words and wait for the response\n"
    "    send STREAM [WORD...]             send one raw packet and wait until it is written\n"
    "    listen STREAM [--count N]         print each packet of that stream on one line\n"
    "  SPEC: serial:PATH[@BAUD] | d3xx:SERIAL | ftdi:SERIAL\n"
    "  Numbers are decimal or 0x-hexadecimal. Defaults: read stream 1, write stream 2,\n"
    "  time-out 100 ms (0: wait for ever).\n";

namespace {

constexpr std::uint64_t max_u32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t max_count = 0x1FFFFF; // the request's word-count field

parse_result fail(std::string message)
{
    return {std::nullopt, std::move(message)};
}

bool number(const std::string &text, std::uint64_t max, const char *what, std::uint64_t &value,
            std::string &error)
{
    const auto parsed = parseNumber(text, max);
    if (!parsed) {
        error = std::string("bad ") + what + " '" + text + "' (a number from 0 to " + std::to_string(max)
                + " is expected)";
        return false;
    }
    value = *parsed;
    return true;
}

} // namespace

std::optional<std::uint64_t> parseNumber(const std::string &text, std::uint64_t max)
{
    std::size_t pos = 0;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        pos = 2;
    }
    if (pos == text.size())
        return std::nullopt;
    std::uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        if (digit > max || value > (max - digit) / base)
            return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

bool parseDevice(const std::string &deviceText, std::map<std::string, std::string> &device,
                 std::map<std::string, std::string> &options, std::string &error)
{
    const std::size_t colon = deviceText.find(':');
    const std::string kind = colon == std::string::npos ? std::string() : deviceText.substr(0, colon);
    const std::string rest = colon == std::string::npos ? std::string() : deviceText.substr(colon + 1);
    if (kind != "serial" && kind != "d3xx" && kind != "ftdi") {
        error =
            "bad device '" + deviceText + "' (serial:PATH[@BAUD], d3xx:SERIAL or ftdi:SERIAL is expected)";
        return false;
    }
    if (kind == "serial") {
        std::string path = rest;
        const std::size_t at = rest.rfind('@');
        if (at != std::string::npos) {
            path = rest.substr(0, at);
            const std::string baud = rest.substr(at + 1);
            const auto rate = parseNumber(baud, max_u32);
            if (!rate || *rate == 0) {
                error = "bad baud rate '" + baud + "' in device '" + deviceText + "'";
                return false;
            }
            // The serial transport reads the option as decimal text.
            options["baudrate"] = std::to_string(*rate);
        }
        if (path.empty()) {
            error = "bad device '" + deviceText + "': the port path is missing";
            return false;
        }
        device = {{"class", "Serial"}, {"name", path}};
        return true;
    }
    if (rest.empty()) {
        error = "bad device '" + deviceText + "': the serial number is missing";
        return false;
    }
    device = {{"class", kind == "d3xx" ? "D3XX" : "LibFTDI"}, {"serialNumber", rest}};
    return true;
}

parse_result parse(int argc, const char *const *argv)
{
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i)
        words.emplace_back(argv[i]);
    return parse(words);
}

parse_result parse(const std::vector<std::string> &words)
{
    arguments a;
    std::string error;
    std::optional<std::string> deviceText;
    std::size_t i = 0;
    auto value = [&](const std::string &option, std::string &out) {
        if (i + 1 >= words.size()) {
            error = "option " + option + " needs a value";
            return false;
        }
        out = words[++i];
        return true;
    };

    // Link options, up to the command word.
    std::string commandWord;
    for (; i < words.size(); ++i) {
        const std::string &w = words[i];
        std::string v;
        std::uint64_t n = 0;
        if (w == "--help" || w == "-h")
            return {a, {}};
        if (w == "--device") {
            if (!value(w, v))
                return fail(error);
            deviceText = v;
        } else if (w == "--timeout") {
            if (!value(w, v) || !number(v, max_u32, "time-out", n, error))
                return fail(error);
            a.timeoutMs = static_cast<std::uint32_t>(n);
        } else if (w == "--read-stream" || w == "--write-stream") {
            if (!value(w, v) || !number(v, 255, "stream", n, error))
                return fail(error);
            (w == "--read-stream" ? a.readStream : a.writeStream) = static_cast<std::uint8_t>(n);
        } else if (w.rfind("-", 0) == 0) {
            return fail("unknown option '" + w + "'");
        } else {
            commandWord = w;
            ++i;
            break;
        }
    }
    if (commandWord.empty())
        return fail("no command given");

    static const std::map<std::string, command> commands{{"list", command::list},
                                                         {"read", command::read},
                                                         {"write", command::write},
                                                         {"send", command::send},
                                                         {"listen", command::listen}};
    const auto found = commands.find(commandWord);
    if (found == commands.end())
        return fail("unknown command '" + commandWord + "'");
    a.cmd = found->second;

    // The command's own options may stand anywhere among its operands.
    std::vector<std::string> operands;
    for (; i < words.size(); ++i) {
        const std::string &w = words[i];
        std::string v;
        std::uint64_t n = 0;
        if (w == "--burst" && (a.cmd == command::read || a.cmd == command::write)) {
            if (!value(w, v) || !number(v, 1, "burst type", n, error))
                return fail(error);
            a.burst = static_cast<std::uint8_t>(n);
        } else if (w == "--count" && a.cmd == command::listen) {
            if (!value(w, v)
                || !number(v, std::numeric_limits<std::uint64_t>::max(), "packet count", n, error))
                return fail(error);
            if (n == 0)
                return fail("bad packet count '" + v + "' (at least 1 is expected)");
            a.packets = n;
        } else if (w.rfind("--", 0) == 0) {
            return fail("unknown option '" + w + "' for " + commandWord);
        } else {
            operands.push_back(w);
        }
    }

    if (a.cmd == command::list) {
        if (deviceText || !operands.empty())
            return fail("list takes no device and no operands");
        return {a, {}};
    }
    if (!deviceText)
        return fail(commandWord + " needs --device SPEC");
    if (!parseDevice(*deviceText, a.device, a.options, error))
        return fail(error);

    std::uint64_t n = 0;
    switch (a.cmd) {
    case command::read:
        if (operands.size() != 2)
            return fail("read needs ADDR COUNT");
        if (!number(operands[0], max_u32, "address", n, error))
            return fail(error);
        a.address = static_cast<std::uint32_t>(n);
        if (!number(operands[1], max_count, "word count", n, error))
            return fail(error);
        if (n == 0)
            return fail("bad word count '" + operands[1] + "' (at least 1 is expected)");
        a.count = static_cast<std::uint32_t>(n);
        break;
    case command::write:
        if (operands.size() < 2)
            return fail("write needs ADDR and at least one WORD");
        if (!number(operands[0], max_u32, "address", n, error))
            return fail(error);
        a.address = static_cast<std::uint32_t>(n);
        if (operands.size() - 1 > max_count)
            return fail("too many words for one write");
        for (std::size_t k = 1; k < operands.size(); ++k) {
            if (!number(operands[k], max_u32, "word", n, error))
                return fail(error);
            a.words.push_back(static_cast<std::uint32_t>(n));
        }
        break;
    case command::send:
    case command::listen:
        if (operands.empty())
            return fail(commandWord + " needs STREAM");
        if (a.cmd == command::listen && operands.size() != 1)
            return fail("listen takes only STREAM");
        if (!number(operands[0], 255, "stream", n, error))
            return fail(error);
        a.stream = static_cast<std::uint8_t>(n);
        for (std::size_t k = 1; k < operands.size(); ++k) {
            if (!number(operands[k], max_u32, "word", n, error))
                return fail(error);
            a.words.push_back(static_cast<std::uint32_t>(n));
        }
        break;
    case command::help:
    case command::list: break;
    }
    return {a, {}};
}

} // namespace vetra_cli
