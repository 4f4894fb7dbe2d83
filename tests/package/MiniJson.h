#pragma once

// Just enough JSON for the tests to read the sample descriptions and dlutil's output.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dlu::test {

struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const {
        const auto it = members.find(key);
        if (it == members.end()) {
            throw std::runtime_error("no key " + key);
        }
        return it->second;
    }
    const Json& operator[](std::size_t i) const { return items.at(i); }
    long long integer() const { return static_cast<long long>(number); }
    bool has(const std::string& key) const { return members.count(key) != 0; }

    static Json parse(std::string_view s) {
        std::size_t at = 0;
        Json v = value(s, at);
        skip(s, at);
        if (at != s.size()) {
            throw std::runtime_error("trailing characters");
        }
        return v;
    }

private:
    static void skip(std::string_view s, std::size_t& at) {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\r' || s[at] == '\t')) {
            ++at;
        }
    }
    static void expect(std::string_view s, std::size_t& at, char c) {
        skip(s, at);
        if (at >= s.size() || s[at] != c) {
            throw std::runtime_error(std::string("expected ") + c);
        }
        ++at;
    }
    static void appendUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    static std::string string(std::string_view s, std::size_t& at) {
        expect(s, at, '"');
        std::string out;
        while (at < s.size() && s[at] != '"') {
            char c = s[at++];
            if (c != '\\') {
                out += c;
                continue;
            }
            c = s.at(at++);
            switch (c) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u':
                appendUtf8(out, static_cast<unsigned>(
                                    std::stoul(std::string(s.substr(at, 4)), nullptr, 16)));
                at += 4;
                break;
            default:
                out += c;
            }
        }
        expect(s, at, '"');
        return out;
    }
    static Json value(std::string_view s, std::size_t& at) {
        skip(s, at);
        Json v;
        if (at >= s.size()) {
            throw std::runtime_error("unexpected end");
        }
        const char c = s[at];
        if (c == '{') {
            v.type = Type::Object;
            ++at;
            skip(s, at);
            if (s.at(at) == '}') {
                ++at;
                return v;
            }
            for (;;) {
                std::string key = string(s, at);
                expect(s, at, ':');
                v.members[key] = value(s, at);
                skip(s, at);
                if (s.at(at) == ',') {
                    ++at;
                    continue;
                }
                expect(s, at, '}');
                return v;
            }
        }
        if (c == '[') {
            v.type = Type::Array;
            ++at;
            skip(s, at);
            if (s.at(at) == ']') {
                ++at;
                return v;
            }
            for (;;) {
                v.items.push_back(value(s, at));
                skip(s, at);
                if (s.at(at) == ',') {
                    ++at;
                    continue;
                }
                expect(s, at, ']');
                return v;
            }
        }
        if (c == '"') {
            v.type = Type::String;
            v.text = string(s, at);
            return v;
        }
        for (const auto& [word, type, b] :
             {std::tuple{"null", Type::Null, false}, std::tuple{"true", Type::Bool, true},
              std::tuple{"false", Type::Bool, false}}) {
            if (s.substr(at, std::string_view(word).size()) == word) {
                at += std::string_view(word).size();
                v.type = type;
                v.boolean = b;
                return v;
            }
        }
        std::size_t end = at;
        while (end < s.size() &&
               std::string_view("+-0123456789.eE").find(s[end]) != std::string_view::npos) {
            ++end;
        }
        if (end == at) {
            throw std::runtime_error("bad value");
        }
        v.type = Type::Number;
        v.number = std::stod(std::string(s.substr(at, end - at)));
        at = end;
        return v;
    }
};

} // namespace dlu::test
