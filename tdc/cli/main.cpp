// tdc-cli: boards, their modules and their measurements from the command line, for scripts
// and checks without a display. Each subcommand lives in its own <name>_command.cpp.

#include <iostream>
#include <map>

#include <CLI/CLI.hpp>

#include "board.h"
#include "command.h"

namespace {

void usage(std::ostream &out)
{
    bool first = true;
    for (const auto &c : cli::commands()) {
        out << (first ? "usage: " : "       ") << "tdc-cli "
            << (c.name == "list" ? "" : "[--device INDEX|serial:PATH] [--baudrate N] ") << c.usage << "\n";
        first = false;
    }
    out << "The default device is the first one listed. Output is JSON unless a command says otherwise.\n";
    for (const auto &c : cli::commands())
        out << "  " << c.name << ": " << c.description << "\n";
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app("tdc-cli", "tdc-cli");
    app.set_help_flag(); // the usage text below is the help
    bool help = false;
    app.add_flag("-h,--help", help);
    // Global options may stand before or after the command.
    app.fallthrough();
    app.require_subcommand(0, 1);

    cli::Global global;
    app.add_option("--device", global.device, "board index or serial:PATH")
        ->check([](const std::string &v) -> std::string {
            return cli::validDeviceChoice(v)
                       ? std::string()
                       : "--device takes a board index or serial:PATH, not \"" + v + "\"";
        });
    app.add_option("--baudrate", global.baudrate, "serial line speed")
        ->check([](const std::string &v) -> std::string {
            if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(v) == 0)
                return "--baudrate needs a positive whole number, not \"" + v + "\"";
            return {};
        });

    std::map<CLI::App *, cli::Run> runs;
    for (const auto &command : cli::commands()) {
        CLI::App *sub = app.add_subcommand(command.name, command.description);
        runs[sub] = command.setup(*sub, global);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        std::cerr << "tdc-cli: " << e.what() << "\n";
        usage(std::cerr);
        return 2;
    }
    if (help) {
        usage(std::cout);
        return 0;
    }
    const auto chosen = app.get_subcommands();
    if (chosen.empty()) {
        std::cerr << "tdc-cli: a command is needed\n";
        usage(std::cerr);
        return 2;
    }
    return runs.at(chosen.front())();
}
