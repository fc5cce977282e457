#include <gtest/gtest.h>

#include "host/control_host.h"
#include "tools/script/script_parser.h"

namespace {

TEST(ScriptParser, ReadsCommandsNamesAndTypedArguments) {
    const auto p = parse_script_line("  CALL Seek -12 +3 true \"a \\\"b\\\" \\\\\" FALSE ");
    ASSERT_TRUE(p.line) << p.error;
    EXPECT_EQ(p.line->command, "call");
    EXPECT_EQ(p.line->name, "Seek");
    ASSERT_EQ(p.line->args.size(), 5u);
    EXPECT_EQ(p.line->args[0].as_i4(), -12);
    EXPECT_EQ(p.line->args[1].as_i4(), 3);
    EXPECT_TRUE(p.line->args[2].as_bool());
    EXPECT_EQ(p.line->args[3].as_string(), "a \"b\" \\");
    EXPECT_EQ(p.line->args[4].type(), VT_BOOL);
    EXPECT_EQ(format_value(p.line->args[3]), "\"a \\\"b\\\" \\\\\"");
}

TEST(ScriptParser, BlankCommentAndEchoLines) {
    EXPECT_FALSE(parse_script_line("").line);
    EXPECT_FALSE(parse_script_line("   # set Volume 1").line);
    EXPECT_TRUE(parse_script_line("   # x").error.empty());
    const auto echo = parse_script_line("echo  \"not parsed\" \\ 12");
    ASSERT_TRUE(echo.line);
    EXPECT_EQ(echo.line->rest, " \"not parsed\" \\ 12");
}

TEST(ScriptParser, MalformedLinesSayWhy) {
    const std::pair<const char*, const char*> cases[] = {
        {"set Volume \"open", "unterminated string"},
        {"set Volume \"bad \\n escape\"", "unknown escape \\n"},
        {"set Volume \"a\"b", "text after a closing quote"},
        {"set Volume 2147483648", "integer out of range: 2147483648"},
        {"set Volume -2147483649", "integer out of range: -2147483649"},
        {"set Volume 99999999999999999999999", "integer out of range: 99999999999999999999999"},
        {"set Volume 12abc", "not an integer, true/false or quoted string: 12abc"},
        {"set Volume +", "not an integer, true/false or quoted string: +"},
        {"get", "expected a member name"},
        {"dance 1", "unknown command"},
        {"set Volume \"ends in backslash\\", "unterminated string"},
    };
    for (const auto& [text, why] : cases) {
        const auto p = parse_script_line(text);
        EXPECT_FALSE(p.line) << text;
        EXPECT_EQ(p.error, why) << text;
    }
    EXPECT_EQ(parse_script_line("set Volume -2147483648").line->args[0].as_i4(), -2147483647 - 1);
}

}  // namespace
