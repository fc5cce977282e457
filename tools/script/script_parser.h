// The line syntax of `kelvane script`: a command word; for set, get and call a member name;
// then arguments: decimal integers, true/false, or strings in double quotes in which a backslash
// escapes a quote or another backslash. `echo` keeps the rest of its line as it stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"

struct ScriptLine {
    std::string command;  // lower case
    std::string name;     // the member that set, get and call name, as written
    std::vector<Variant> args;
    std::string rest;  // the text after the command word, for `echo`
};

struct ScriptParse {
    std::optional<ScriptLine> line;  // empty for blank and comment lines, and on error
    std::string error;               // why the line is malformed; empty when it is not
};

ScriptParse parse_script_line(std::string_view text);

// A value as the script prints it, and as an argument reads back: integers in decimal,
// true/false, strings in double quotes with quotes and backslashes escaped.
std::string format_value(const Variant& value);
