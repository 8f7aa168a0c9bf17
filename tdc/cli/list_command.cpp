// tdc-cli list: one JSON object per attached board.

#include <iostream>

#include <CLI/CLI.hpp>

#include "command.h"
#include "output.h"
#include "tdc/tdcbackend.h"

namespace cli {
namespace {

int list()
{
    TDCBackend backend;
    const auto devices = backend.getDevices().first;
    for (const auto &d : devices) {
        Json o = Json::object();
        for (const auto &[k, v] : d)
            o[k] = v;
        printLine(std::cout, o);
    }
    if (devices.empty())
        std::cerr << "tdc-cli: no board found\n";
    return 0;
}

const bool registered = registerCommand({"list", "list", "List the attached boards.", 10,
                                         [](CLI::App &, const Global &) -> Run { return list; }});

} // namespace
} // namespace cli
