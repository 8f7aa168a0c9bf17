// vetra-cli's command line: any list of words, parsed without touching a device. A parse
// either fails with a message or yields arguments within the documented ranges.
//
// Input: the words, separated by zero bytes.

#include "fuzz_input.h"

#include "cli_args.h"

int fuzz_vetra_cli(const std::uint8_t *data, std::size_t size)
{
    fuzz::input in(data, size);
    std::vector<std::string> words;
    while (!in.empty())
        words.push_back(in.until(0));

    const auto parsed = vetra_cli::parse(words);
    if (!parsed.args) {
        FUZZ_CHECK(!parsed.error.empty());
    } else {
        const auto &a = *parsed.args;
        FUZZ_CHECK(a.burst <= 1);
        if (a.cmd == vetra_cli::command::read)
            FUZZ_CHECK(a.count >= 1 && a.count <= 0x1FFFFF);
        if (a.cmd == vetra_cli::command::write)
            FUZZ_CHECK(!a.words.empty());
        if (a.cmd != vetra_cli::command::help && a.cmd != vetra_cli::command::list)
            FUZZ_CHECK(!a.device.empty());
        if (a.packets)
            FUZZ_CHECK(*a.packets >= 1);
    }

    // Every word also as a number: what parses lies within the bound and reads back the same.
    for (const auto &w : words) {
        for (std::uint64_t max : {std::uint64_t(255), std::uint64_t(0xFFFFFFFFu), ~std::uint64_t(0)}) {
            const auto n = vetra_cli::parseNumber(w, max);
            if (n) {
                FUZZ_CHECK(*n <= max);
                FUZZ_CHECK(vetra_cli::parseNumber(std::to_string(*n), max) == n);
            }
        }
    }
    return 0;
}
