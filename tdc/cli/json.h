#pragma once
// A small JSON writer for tdc-cli's output: one value built up as text, compact, with texts
// from the board escaped so that any bytes give valid JSON.

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// A quoted JSON text; control characters escaped, invalid UTF-8 replaced by U+FFFD.
std::string quote(const std::string &text);
// A JSON number; non-finite values become null.
std::string number(double v);

class Object {
public:
    Object &add(const std::string &key, const std::string &rawJson);
    Object &text(const std::string &key, const std::string &value) { return add(key, quote(value)); }
    Object &num(const std::string &key, double v) { return add(key, number(v)); }
    Object &integer(const std::string &key, std::int64_t v) { return add(key, std::to_string(v)); }
    Object &uinteger(const std::string &key, std::uint64_t v) { return add(key, std::to_string(v)); }
    Object &boolean(const std::string &key, bool v) { return add(key, v ? "true" : "false"); }
    std::string str() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

std::string array(const std::vector<std::string> &rawJsonItems);

} // namespace cli
