#pragma once
// How tdc-cli's subcommands plug into the program: each lives in its own <name>_command.cpp
// and registers itself from a static initialiser; main builds the application from the
// registry. A command adds its options to its own CLI11 sub-application and returns the
// function that runs it once the command line has been parsed.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace cli {

// Options that every command shares; parsed before the command runs.
struct Global {
    std::optional<std::string> device; // INDEX or serial:PATH
    std::optional<std::string> baudrate;
};

// Runs the command; the result is the process exit code. Output goes to standard output,
// complaints to standard error.
using Run = std::function<int()>;

struct Command {
    std::string name;
    std::string usage;       // the line after "tdc-cli [GLOBAL OPTIONS] "
    std::string description; // one sentence for --help
    int order = 0;           // position in the usage text
    std::function<Run(CLI::App &sub, const Global &global)> setup;
};

// Called once per command at start-up; returns true so it can initialise a static.
bool registerCommand(Command command);
// Every registered command, in usage order.
std::vector<Command> commands();

} // namespace cli
