// tdc-cli's command line: the global options, one sub-application per registered command.

#include "commandline.h"

#include <map>

#include <CLI/CLI.hpp>

#include "board.h"

namespace cli {
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

CommandLine parseCommandLine(int argc, const char *const *argv, std::ostream &out, std::ostream &err)
{
    CommandLine result;
    // Commands keep pointers to their options, so the application lives as long as `run`.
    auto app = std::make_shared<CLI::App>("tdc-cli", "tdc-cli");
    app->set_help_flag(); // the usage text below is the help
    bool help = false;
    app->add_flag("-h,--help", help);
    // Global options may stand before or after the command.
    app->fallthrough();
    app->require_subcommand(0, 1);

    auto global = std::make_shared<Global>();
    app->add_option("--device", global->device, "board index or serial:PATH")
        ->check([](const std::string &v) -> std::string {
            return validDeviceChoice(v)
                       ? std::string()
                       : "--device takes a board index or serial:PATH, not \"" + v + "\"";
        });
    app->add_option("--baudrate", global->baudrate, "serial line speed")
        ->check([](const std::string &v) -> std::string {
            if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(v) == 0)
                return "--baudrate needs a positive whole number, not \"" + v + "\"";
            return {};
        });

    std::map<CLI::App *, Run> runs;
    for (const auto &command : commands()) {
        CLI::App *sub = app->add_subcommand(command.name, command.description);
        runs[sub] = command.setup(*sub, *global);
    }

    try {
        app->parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        err << "tdc-cli: " << e.what() << "\n";
        usage(err);
        result.exitCode = 2;
        return result;
    }
    if (help) {
        usage(out);
        result.exitCode = 0;
        return result;
    }
    const auto chosen = app->get_subcommands();
    if (chosen.empty()) {
        err << "tdc-cli: a command is needed\n";
        usage(err);
        result.exitCode = 2;
        return result;
    }
    result.run = [app, global, run = runs.at(chosen.front())] { return run(); };
    result.global = global;
    return result;
}

} // namespace cli
