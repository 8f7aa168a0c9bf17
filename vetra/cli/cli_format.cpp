#include "cli_format.h"

#include <cstdio>

namespace vetra_cli {

namespace {

// Length of the valid UTF-8 sequence starting at `i`, or 0.
std::size_t utf8Length(const std::string &s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t n;
    std::uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07u;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid.
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return n;
}

std::string unicodeEscape(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04x", value);
    return text;
}

} // namespace

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (const std::size_t n = utf8Length(text, i)) {
                out.append(text, i, n);
                i += n;
            } else {
                out += unicodeEscape(c);
                ++i;
            }
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F)
                out += unicodeEscape(c);
            else
                out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string jsonObject(const std::map<std::string, std::string> &map)
{
    std::string out = "{";
    for (const auto &[key, value] : map) {
        if (out.size() > 1)
            out += ',';
        out += jsonString(key) + ':' + jsonString(value);
    }
    out += '}';
    return out;
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
