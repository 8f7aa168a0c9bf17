#pragma once
// A small JSON reader for board profiles: parses a whole text into a tree of values and
// reports the first error with its line and column. Numbers are doubles; objects keep their
// keys in file order so error messages can follow the file.

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrane::json {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Value> array;
    std::vector<std::pair<std::string, Value>> object;

    const char *kindName() const;
};

// Parses `text`; on failure returns false and sets `error` to a sentence with the position.
bool parse(const std::string &text, Value &out, std::string &error);

} // namespace kestrane::json
