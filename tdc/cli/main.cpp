// tdc-cli: boards, their modules and their measurements from the command line, for scripts
// and checks without a display. Each subcommand lives in its own <name>_command.cpp.

#include <iostream>

#include "commandline.h"

int main(int argc, char **argv)
{
    const cli::CommandLine line = cli::parseCommandLine(argc, argv, std::cout, std::cerr);
    if (!line.run)
        return line.exitCode;
    return line.run();
}
