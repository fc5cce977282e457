#include "tools/script/script_parser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Reads one argument at the start of `text` and removes it; an error text when malformed.
std::string read_argument(std::string_view& text, std::vector<Variant>& args) {
    if (text.front() == '"') {
        std::string value;
        std::size_t i = 1;
        for (;; ++i) {
            if (i >= text.size()) return "unterminated string";
            const char c = text[i];
            if (c == '"') break;
            if (c == '\\') {
                if (i + 1 >= text.size()) return "unterminated string";
                const char next = text[++i];
                if (next != '"' && next != '\\') return std::string("unknown escape \\") + next;
                value += next;
                continue;
            }
            value += c;
        }
        text.remove_prefix(i + 1);
        if (!text.empty() && !is_space(text.front())) return "text after a closing quote";
        args.push_back(Variant::string(value));
        return {};
    }
    std::size_t end = 0;
    while (end < text.size() && !is_space(text[end])) ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    if (lower(word) == "true" || lower(word) == "false") {
        args.push_back(Variant::boolean(lower(word) == "true"));
        return {};
    }
    std::int64_t number = 0;
    const char* first = word.data();
    if (!word.empty() && word.front() == '+') ++first;
    const auto [ptr, ec] = std::from_chars(first, word.data() + word.size(), number);
    if (ec == std::errc::result_out_of_range) return "integer out of range: " + std::string(word);
    if (ec != std::errc() || ptr != word.data() + word.size() || first == word.data() + word.size())
        return "not an integer, true/false or quoted string: " + std::string(word);
    if (number < std::numeric_limits<LONG>::min() || number > std::numeric_limits<LONG>::max())
        return "integer out of range: " + std::string(word);
    args.push_back(Variant::i4(static_cast<LONG>(number)));
    return {};
}

}  // namespace

ScriptParse parse_script_line(std::string_view text) {
    ScriptParse result;
    std::string_view rest = trim(text);
    if (rest.empty() || rest.front() == '#') return result;

    std::size_t end = 0;
    while (end < rest.size() && !is_space(rest[end])) ++end;
    ScriptLine line;
    line.command = lower(rest.substr(0, end));
    rest.remove_prefix(end);
    // Only one separating blank belongs to the syntax; echo keeps the rest as it stands.
    line.rest = std::string(rest.empty() ? rest : rest.substr(1));
    static constexpr std::string_view kCommands[] = {"set", "get",  "call", "wait",   "echo",
                                                     "new", "save", "load", "choose", "draw"};
    if (std::find(std::begin(kCommands), std::end(kCommands), line.command) ==
        std::end(kCommands)) {
        result.error = "unknown command";
        return result;
    }
    if (line.command == "echo") {
        result.line = std::move(line);
        return result;
    }
    // File and format operands may be written bare, blanks included, or quoted.
    const bool takes_operand = line.command == "save" || line.command == "load" ||
                               line.command == "choose" || line.command == "draw";
    if (takes_operand && !trim(rest).empty() && trim(rest).front() != '"') {
        line.args.push_back(Variant::string(trim(rest)));
        result.line = std::move(line);
        return result;
    }
    if (line.command == "set" || line.command == "get" || line.command == "call") {
        rest = trim(rest);
        std::size_t name_end = 0;
        while (name_end < rest.size() && !is_space(rest[name_end])) ++name_end;
        line.name = std::string(rest.substr(0, name_end));
        rest.remove_prefix(name_end);
        if (line.name.empty()) {
            result.error = "expected a member name";
            return result;
        }
    }
    for (;;) {
        rest = trim(rest);
        if (rest.empty()) break;
        if (auto error = read_argument(rest, line.args); !error.empty()) {
            result.error = std::move(error);
            return result;
        }
    }
    result.line = std::move(line);
    return result;
}

std::string format_value(const Variant& value) {
    switch (value.type()) {
        case VT_I2:
            return std::to_string(value.as_i2());
        case VT_I4:
            return std::to_string(value.as_i4());
        case VT_BOOL:
            return value.as_bool() ? "true" : "false";
        case VT_R8: {
            char text[32];
            std::snprintf(text, sizeof text, "%.15g", value.as_r8());
            return text;
        }
        case VT_BSTR: {
            std::string text = "\"";
            for (char c : value.as_string()) {
                if (c == '"' || c == '\\') text += '\\';
                text += c;
            }
            return text + "\"";
        }
        default:
            return "";
    }
}
