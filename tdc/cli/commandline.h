#pragma once
// tdc-cli's command line, parsed into the command to run without touching any board.

#include <memory>
#include <ostream>

#include "command.h"

namespace cli {

struct CommandLine {
    // The exit code when the program ends without running a command (help, a bad command
    // line); -1 when `run` is to be run.
    int exitCode = -1;
    Run run;
    // The global options the command reads when it runs.
    std::shared_ptr<Global> global;
};

// Complaints and the usage after them go to `err`; --help prints the usage to `out`.
CommandLine parseCommandLine(int argc, const char *const *argv, std::ostream &out, std::ostream &err);

} // namespace cli
