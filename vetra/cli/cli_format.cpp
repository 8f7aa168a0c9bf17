#include "cli_format.h"

#include <cstdio>

#include <nlohmann/json.hpp>

namespace vetra_cli {

std::string jsonString(const std::string &text)
{
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string jsonObject(const std::map<std::string, std::string> &map)
{
    return nlohmann::json(map).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string hexWord(std::uint32_t word)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(word));
    return text;
}

std::string wordLine(const std::vector<std::uint32_t> &words)
{
    std::string line;
    for (std::uint32_t w : words) {
        if (!line.empty())
            line += ' ';
        line += hexWord(w);
    }
    return line;
}

} // namespace vetra_cli
