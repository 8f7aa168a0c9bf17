// tdc-cli's command line: any list of words goes through the same parsing as the tool's
// (global options, every command's options and their checks) without running the command.
// A bad command line ends with exit code 2 and a complaint, help with 0, anything else with
// a command to run.
//
// Input: the words, separated by zero bytes.

#include "fuzz_input.h"

#include "board.h"
#include "commandline.h"

#include <sstream>

int fuzz_tdc_cli(const std::uint8_t *data, std::size_t size)
{
    fuzz::input in(data, size);
    std::vector<std::string> words{"tdc-cli"};
    while (!in.empty())
        words.push_back(in.until(0));
    std::vector<const char *> argv;
    for (const auto &w : words)
        argv.push_back(w.c_str());
    argv.push_back(nullptr);

    std::ostringstream out, err;
    const auto line = cli::parseCommandLine(static_cast<int>(words.size()), argv.data(), out, err);
    if (line.run) {
        FUZZ_CHECK(line.exitCode == -1);
        FUZZ_CHECK(line.global != nullptr);
        if (line.global->device)
            FUZZ_CHECK(cli::validDeviceChoice(*line.global->device));
        FUZZ_CHECK(err.str().empty());
    } else if (line.exitCode == 0) {
        FUZZ_CHECK(!out.str().empty());
    } else {
        FUZZ_CHECK(line.exitCode == 2);
        FUZZ_CHECK(err.str().rfind("tdc-cli: ", 0) == 0);
    }
    return 0;
}
