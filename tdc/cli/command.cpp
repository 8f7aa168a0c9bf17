#include "command.h"

#include <algorithm>

namespace cli {

namespace {
// A function-local static: commands register themselves during static initialisation,
// whose order across files is unspecified.
std::vector<Command> &registry()
{
    static std::vector<Command> commands;
    return commands;
}
} // namespace

bool registerCommand(Command command)
{
    registry().push_back(std::move(command));
    return true;
}

std::vector<Command> commands()
{
    auto list = registry();
    std::stable_sort(list.begin(), list.end(),
                     [](const Command &a, const Command &b) { return a.order < b.order; });
    return list;
}

} // namespace cli
