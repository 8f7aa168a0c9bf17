#include "json.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kestrane::json {

const char *Value::kindName() const
{
    switch (kind) {
    case Kind::Null: return "null";
    case Kind::Bool: return "a boolean";
    case Kind::Number: return "a number";
    case Kind::String: return "a text";
    case Kind::Array: return "an array";
    case Kind::Object: return "an object";
    }
    return "a value";
}

namespace {

// Deep nesting is never needed by a profile; the limit keeps hostile input off the stack.
constexpr int maxDepth = 64;

class Parser {
public:
    explicit Parser(const std::string &t) : text_(t) {}

    bool run(Value &out, std::string &error)
    {
        skipSpace();
        if (!value(out, 0)) {
            error = error_;
            return false;
        }
        skipSpace();
        if (pos_ != text_.size()) {
            fail("unexpected text after the end of the document");
            error = error_;
            return false;
        }
        return true;
    }

private:
    bool fail(const std::string &what)
    {
        if (!error_.empty())
            return false;
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0; i < pos_ && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        error_ = "JSON error at line " + std::to_string(line) + ", column " +
                 std::to_string(column) + ": " + what;
        return false;
    }

    void skipSpace()
    {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' ||
                text_[pos_] == '\r'))
            ++pos_;
    }

    bool literal(const char *word)
    {
        const std::size_t n = std::strlen(word);
        if (text_.compare(pos_, n, word) != 0)
            return fail("unknown word");
        pos_ += n;
        return true;
    }

    bool value(Value &out, int depth)
    {
        if (depth > maxDepth)
            return fail("nesting too deep");
        if (pos_ >= text_.size())
            return fail("unexpected end of the document");
        const char c = text_[pos_];
        if (c == '{')
            return object(out, depth);
        if (c == '[')
            return array(out, depth);
        if (c == '"') {
            out.kind = Value::Kind::String;
            return string(out.string);
        }
        if (c == 't') {
            out.kind = Value::Kind::Bool;
            out.boolean = true;
            return literal("true");
        }
        if (c == 'f') {
            out.kind = Value::Kind::Bool;
            out.boolean = false;
            return literal("false");
        }
        if (c == 'n') {
            out.kind = Value::Kind::Null;
            return literal("null");
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return number(out);
        return fail(std::string("unexpected character '") + c + "'");
    }

    bool number(Value &out)
    {
        const std::size_t start = pos_;
        if (text_[pos_] == '-')
            ++pos_;
        auto digits = [&] {
            const std::size_t s = pos_;
            while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9')
                ++pos_;
            return pos_ > s;
        };
        if (!digits())
            return fail("a number needs digits");
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (!digits())
                return fail("a number needs digits after the point");
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-'))
                ++pos_;
            if (!digits())
                return fail("a number needs digits in its exponent");
        }
        const std::string token = text_.substr(start, pos_ - start);
        out.kind = Value::Kind::Number;
        out.number = std::strtod(token.c_str(), nullptr);
        if (!std::isfinite(out.number))
            return fail("number out of range");
        return true;
    }

    static void appendUtf8(std::string &s, unsigned cp)
    {
        if (cp < 0x80) {
            s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            s += static_cast<char>(0xC0 | (cp >> 6));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(unsigned &cp)
    {
        if (pos_ + 4 > text_.size())
            return fail("short \\u escape");
        cp = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[pos_++];
            cp <<= 4;
            if (h >= '0' && h <= '9')
                cp |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f')
                cp |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                cp |= static_cast<unsigned>(h - 'A' + 10);
            else
                return fail("bad \\u escape");
        }
        return true;
    }

    bool string(std::string &out)
    {
        ++pos_; // opening quote
        out.clear();
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return fail("control character in a text");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size())
                break;
            const char e = text_[pos_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned cp = 0;
                if (!hex4(cp))
                    return false;
                if (cp >= 0xD800 && cp < 0xDC00) {
                    unsigned low = 0;
                    if (text_.compare(pos_, 2, "\\u") != 0)
                        return fail("lone surrogate in \\u escape");
                    pos_ += 2;
                    if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return fail("bad surrogate pair in \\u escape");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, cp);
                break;
            }
            default: return fail("unknown escape in a text");
            }
        }
        return fail("unterminated text");
    }

    bool array(Value &out, int depth)
    {
        ++pos_;
        out.kind = Value::Kind::Array;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipSpace();
            out.array.emplace_back();
            if (!value(out.array.back(), depth + 1))
                return false;
            skipSpace();
            if (pos_ >= text_.size())
                return fail("unterminated array");
            if (text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (text_[pos_] == ']') {
                ++pos_;
                return true;
            }
            return fail("expected ',' or ']' in an array");
        }
    }

    bool object(Value &out, int depth)
    {
        ++pos_;
        out.kind = Value::Kind::Object;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != '"')
                return fail("expected a key in quotes");
            std::string key;
            if (!string(key))
                return false;
            for (const auto &kv : out.object)
                if (kv.first == key)
                    return fail("key \"" + key + "\" appears twice");
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != ':')
                return fail("expected ':' after a key");
            ++pos_;
            skipSpace();
            out.object.emplace_back(key, Value{});
            if (!value(out.object.back().second, depth + 1))
                return false;
            skipSpace();
            if (pos_ >= text_.size())
                return fail("unterminated object");
            if (text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (text_[pos_] == '}') {
                ++pos_;
                return true;
            }
            return fail("expected ',' or '}' in an object");
        }
    }

    const std::string &text_;
    std::size_t pos_ = 0;
    std::string error_;
};

} // namespace

bool parse(const std::string &text, Value &out, std::string &error)
{
    out = Value{};
    return Parser(text).run(out, error);
}

} // namespace kestrane::json
