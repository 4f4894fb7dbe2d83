#include "common/JsonText.h"

#include <cstdint>

namespace dlu {

namespace {

// The code point at `text[i]` and its length in bytes; length 0 when the bytes there are not
// well-formed UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
std::pair<std::uint32_t, std::size_t> decodeUtf8(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    std::uint32_t cp = 0;
    std::uint32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return {0, 0};
    }
    if (i + length > text.size()) {
        return {0, 0};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return {0, 0};
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return {0, 0};
    }
    return {cp, length};
}

bool reordersText(std::uint32_t cp) {
    return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E ||
           cp == 0x200F || cp == 0x061C;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string jsonQuoted(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto [cp, length] = decodeUtf8(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        switch (cp) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || reordersText(cp)) {
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4) {
                    out += kHex[(cp >> shift) & 0xF];
                }
            } else {
                out.append(text.substr(i, length));
            }
        }
        i += length;
    }
    out += '"';
    return out;
}

// A recursive descent over the text; every step checks the end before it looks.
class JsonParser {
public:
    JsonParser(std::string_view text, int maxDepth) : text_(text), maxDepth_(maxDepth) {}

    std::optional<JsonValue> document() {
        JsonValue value;
        skipSpace();
        if (!parseValue(value, 0)) {
            return std::nullopt;
        }
        skipSpace();
        if (pos_ != text_.size()) {
            return std::nullopt;
        }
        return value;
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    void skipSpace() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            ++pos_;
        }
    }

    bool literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) {
            return false;
        }
        pos_ += word.size();
        return true;
    }

    bool parseValue(JsonValue& value, int depth) {
        if (atEnd() || depth > maxDepth_) {
            return false;
        }
        switch (peek()) {
        case '{':
            value.kind_ = JsonValue::Kind::Object;
            return parseObject(value, depth);
        case '[':
            value.kind_ = JsonValue::Kind::Array;
            return parseArray(value, depth);
        case '"':
            value.kind_ = JsonValue::Kind::String;
            return parseString(value.text_);
        case 't':
            value.kind_ = JsonValue::Kind::Bool;
            value.text_ = "true";
            return literal("true");
        case 'f':
            value.kind_ = JsonValue::Kind::Bool;
            value.text_ = "false";
            return literal("false");
        case 'n':
            value.kind_ = JsonValue::Kind::Null;
            return literal("null");
        default:
            value.kind_ = JsonValue::Kind::Number;
            return parseNumber(value.text_);
        }
    }

    bool parseObject(JsonValue& value, int depth) {
        ++pos_; // '{'
        skipSpace();
        if (!atEnd() && peek() == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipSpace();
            std::string key;
            if (atEnd() || peek() != '"' || !parseString(key)) {
                return false;
            }
            skipSpace();
            if (atEnd() || peek() != ':') {
                return false;
            }
            ++pos_;
            skipSpace();
            JsonValue member;
            if (!parseValue(member, depth + 1)) {
                return false;
            }
            value.members_.emplace_back(std::move(key), std::move(member));
            skipSpace();
            if (atEnd()) {
                return false;
            }
            if (peek() == '}') {
                ++pos_;
                return true;
            }
            if (peek() != ',') {
                return false;
            }
            ++pos_;
        }
    }

    bool parseArray(JsonValue& value, int depth) {
        ++pos_; // '['
        skipSpace();
        if (!atEnd() && peek() == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipSpace();
            JsonValue item;
            if (!parseValue(item, depth + 1)) {
                return false;
            }
            value.items_.push_back(std::move(item));
            skipSpace();
            if (atEnd()) {
                return false;
            }
            if (peek() == ']') {
                ++pos_;
                return true;
            }
            if (peek() != ',') {
                return false;
            }
            ++pos_;
        }
    }

    bool hex4(std::uint32_t& out) {
        if (pos_ + 4 > text_.size()) {
            return false;
        }
        out = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text_[pos_++];
            out <<= 4;
            if (c >= '0' && c <= '9') {
                out |= static_cast<std::uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                out |= static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                out |= static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    bool parseString(std::string& out) {
        ++pos_; // '"'
        while (!atEnd()) {
            const char c = peek();
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                const auto [cp, length] = decodeUtf8(text_, pos_);
                if (length == 0) {
                    return false;
                }
                out.append(text_.substr(pos_, length));
                pos_ += length;
                continue;
            }
            ++pos_;
            if (atEnd()) {
                return false;
            }
            const char e = text_[pos_++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::uint32_t cp = 0;
                if (!hex4(cp)) {
                    return false;
                }
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    std::uint32_t low = 0;
                    if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                        return false;
                    }
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    return false;
                }
                appendUtf8(out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    bool digits() {
        const std::size_t start = pos_;
        while (!atEnd() && peek() >= '0' && peek() <= '9') {
            ++pos_;
        }
        return pos_ > start;
    }

    bool parseNumber(std::string& out) {
        const std::size_t start = pos_;
        if (!atEnd() && peek() == '-') {
            ++pos_;
        }
        if (!atEnd() && peek() == '0') {
            ++pos_;
        } else if (!digits()) {
            return false;
        }
        if (!atEnd() && peek() == '.') {
            ++pos_;
            if (!digits()) {
                return false;
            }
        }
        if (!atEnd() && (peek() == 'e' || peek() == 'E')) {
            ++pos_;
            if (!atEnd() && (peek() == '+' || peek() == '-')) {
                ++pos_;
            }
            if (!digits()) {
                return false;
            }
        }
        out.assign(text_.substr(start, pos_ - start));
        return true;
    }

    std::string_view text_;
    int maxDepth_;
    std::size_t pos_ = 0;
};

std::optional<JsonValue> JsonValue::parse(std::string_view text, int maxDepth) {
    return JsonParser(text, maxDepth).document();
}

const JsonValue* JsonValue::find(std::string_view key) const {
    if (kind_ != Kind::Object) {
        return nullptr;
    }
    for (const auto& [name, value] : members_) {
        if (name == key) {
            return &value;
        }
    }
    return nullptr;
}

const JsonValue* JsonValue::at(std::initializer_list<std::string_view> path) const {
    const JsonValue* value = this;
    for (const auto key : path) {
        value = value->find(key);
        if (value == nullptr) {
            return nullptr;
        }
    }
    return value;
}

std::string JsonValue::textAt(std::initializer_list<std::string_view> path,
                              std::string_view fallback) const {
    const JsonValue* value = at(path);
    if (value == nullptr || (value->kind_ != Kind::String && value->kind_ != Kind::Number)) {
        return std::string(fallback);
    }
    return value->text_;
}

std::string JsonValue::dump() const {
    switch (kind_) {
    case Kind::Null:
        return "null";
    case Kind::Bool:
    case Kind::Number:
        return text_;
    case Kind::String:
        return jsonQuoted(text_);
    case Kind::Array: {
        std::string out = "[";
        for (std::size_t i = 0; i < items_.size(); ++i) {
            out += (i > 0 ? "," : "") + items_[i].dump();
        }
        return out + "]";
    }
    case Kind::Object: {
        std::string out = "{";
        for (std::size_t i = 0; i < members_.size(); ++i) {
            out += (i > 0 ? "," : "") + jsonQuoted(members_[i].first) + ":" +
                   members_[i].second.dump();
        }
        return out + "}";
    }
    }
    return "null";
}

} // namespace dlu
