// tdc-cli: boards, their modules and their count rates as JSON, for scripts and checks
// without a display.

#include <iostream>

#include "commands.h"

int main(int argc, char **argv)
{
    const auto options = cli::parseArguments(argc, argv, std::cerr);
    if (!options) {
        cli::usage(std::cerr);
        return 2;
    }
    if (options->command == "help") {
        cli::usage(std::cout);
        return 0;
    }
    if (options->command == "list")
        return cli::list(std::cout, std::cerr);
    if (options->command == "info")
        return cli::info(*options, std::cout, std::cerr);
    return cli::counts(*options, std::cout, std::cerr);
}
