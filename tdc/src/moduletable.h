#pragma once
// Reads and checks the board's module table.

#include <cstdint>
#include <functional>
#include <system_error>
#include <vector>

#include "modulefactory.h"

class TDCLink;

// Reads `count` words of the board's address space at `address` into `words`.
using TableRead = std::function<std::error_code(std::uint32_t address, std::uint32_t count,
                                                std::vector<std::uint32_t> &words)>;

// Throws std::runtime_error with a clear text when the table cannot be read or makes no sense.
std::vector<ModuleEntry> readModuleTable(const TableRead &read);
std::vector<ModuleEntry> readModuleTable(TDCLink &link);
