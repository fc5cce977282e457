// The script reader of `kelvane script`: any bytes, line by line, must parse or be refused with a
// reason, and every argument must read back as itself after being printed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/script/script_parser.h"

namespace {

bool same(const Variant& a, const Variant& b) {
    if (a.type() != b.type()) return false;
    switch (a.type()) {
        case VT_I4:
            return a.as_i4() == b.as_i4();
        case VT_BOOL:
            return a.as_bool() == b.as_bool();
        case VT_BSTR:
            return a.as_string() == b.as_string();
        default:
            return true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        const ScriptParse parsed = parse_script_line(line);
        if (parsed.line && !parsed.error.empty()) std::abort();
        if (!parsed.line || parsed.line->command == "echo") continue;
        // Printed arguments read back as the same values.
        std::string again = "call X";
        for (const auto& arg : parsed.line->args) again += " " + format_value(arg);
        const ScriptParse reread = parse_script_line(again);
        if (!reread.line || reread.line->args.size() != parsed.line->args.size()) std::abort();
        for (std::size_t i = 0; i < parsed.line->args.size(); ++i)
            if (!same(parsed.line->args[i], reread.line->args[i])) std::abort();
    }
    return 0;
}
