// vetra-cli: board bring-up and link diagnosis from the command line.

#include "cli_args.h"
#include "cli_commands.h"

#include <cstdio>
#include <exception>

int main(int argc, char **argv)
{
    const vetra_cli::parse_result parsed = vetra_cli::parse(argc, argv);
    if (!parsed.args) {
        std::fprintf(stderr, "vetra-cli: %s\nTry 'vetra-cli --help'.\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.args->cmd == vetra_cli::command::help) {
        std::fputs(vetra_cli::usage, stdout);
        return 0;
    }
    try {
        return vetra_cli::run(*parsed.args);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
