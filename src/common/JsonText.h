#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dlu {

// `text` as a JSON string with its quotes. Every control byte is escaped, bytes that are not
// UTF-8 become U+FFFD, and the characters that reorder text around them (bidirectional
// controls) are written as \uXXXX, so that the line is safe to print as it is.
std::string jsonQuoted(std::string_view text);

// One JSON value read from text of outside origin (a line of the operation record): objects,
// arrays, strings, numbers, true, false, null. Numbers keep their text. Nesting and length are
// bounded by the parser.
class JsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    // Nothing when `text` is not exactly one JSON value (white space around it is allowed),
    // nests deeper than `maxDepth`, or a string is not UTF-8.
    static std::optional<JsonValue> parse(std::string_view text, int maxDepth = 16);

    Kind kind() const { return kind_; }
    // The string's text, the number's text, "true"/"false"; empty otherwise.
    const std::string& text() const { return text_; }
    // The member `key` of an object; nullptr when there is none or this is not an object.
    const JsonValue* find(std::string_view key) const;
    // The member at `path` of nested objects ("plc", "label"); nullptr when any is missing.
    const JsonValue* at(std::initializer_list<std::string_view> path) const;
    // The string at `path`, or `fallback` when it is missing or not a string or number.
    std::string textAt(std::initializer_list<std::string_view> path,
                       std::string_view fallback = {}) const;
    const std::vector<JsonValue>& items() const { return items_; }
    const std::vector<std::pair<std::string, JsonValue>>& members() const { return members_; }

    // Written back on one line, strings through jsonQuoted().
    std::string dump() const;

private:
    friend class JsonParser;
    Kind kind_ = Kind::Null;
    std::string text_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
};

} // namespace dlu
