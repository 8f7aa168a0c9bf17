#pragma once
// tdc-cli's JSON output: one compact document per line. Texts from the board are written as
// they are when they are UTF-8; bytes that are not become U+FFFD, so every line is valid JSON.

#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

#include "tdc/tessaronmodule.h"

namespace cli {

using Json = nlohmann::ordered_json;

// Writes `doc` on one line and flushes, so a reading script sees each line when it is made.
void printLine(std::ostream &out, const Json &doc);
std::string dumpLine(const Json &doc);
// A number for JSON; NaN and infinities (which JSON cannot hold) become null.
Json number(double v);
Json versionJson(const TessaronVersion &v);

} // namespace cli
