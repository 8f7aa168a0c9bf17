#pragma once
// The commands of tdc-cli. Each writes its JSON to `out`, its complaints to `err`, and returns
// the process exit code.

#include <iosfwd>
#include <optional>
#include <string>

namespace cli {

struct Options {
    std::string command;
    std::optional<std::string> device; // INDEX or serial:PATH
    std::optional<std::string> baudrate;
    double time = 0.2;       // counts: integration time, seconds
    unsigned samples = 10;   // counts: number of samples
};

// Parses the command line; on failure returns empty and writes the reason to `err`.
std::optional<Options> parseArguments(int argc, char **argv, std::ostream &err);
void usage(std::ostream &out);

int list(std::ostream &out, std::ostream &err);
int info(const Options &options, std::ostream &out, std::ostream &err);
int counts(const Options &options, std::ostream &out, std::ostream &err);

} // namespace cli
