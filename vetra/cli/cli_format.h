#pragma once
// What vetra-cli prints: devices as one-line JSON objects, words as 0x%08x.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vetra_cli {

// A JSON string literal (quotes included). Control characters are escaped; bytes that are
// not valid UTF-8 become U+FFFD, so the output is always valid JSON.
std::string jsonString(const std::string &text);

// {"key":"value",...} with every entry of the map, on one line.
std::string jsonObject(const std::map<std::string, std::string> &map);

std::string hexWord(std::uint32_t word);

// The words as 0x%08x separated by one space.
std::string wordLine(const std::vector<std::uint32_t> &words);

} // namespace vetra_cli
