#pragma once
// Reads and checks the board's module table.

#include <vector>

#include "modulefactory.h"

class TDCLink;

// Throws std::runtime_error with a clear text when the table cannot be read or makes no sense.
std::vector<ModuleEntry> readModuleTable(TDCLink &link);
