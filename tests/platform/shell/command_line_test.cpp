#include "platform/shell/shell.h"

#include <gtest/gtest.h>

using Args = std::vector<std::string>;

TEST(SplitParameters, WindowsCommandLineRules)
{
    const std::pair<std::string, Args> cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"  lead  trail  ", {"lead", "trail"}},
        {R"("abc" d e)", {"abc", "d", "e"}},
        {R"(a\\b d"e f"g h)", {R"(a\\b)", "de fg", "h"}},
        {R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
        {R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
        {R"("/home/u/My Songs/a.mid")", {"/home/u/My Songs/a.mid"}},
        {R"(a "" b)", {"a", "", "b"}},
        {R"(trailing\)", {R"(trailing\)"}},
        {R"("open quote at end)", {"open quote at end"}},
        // Inside quotes, a doubled quote is a literal one and ends the quoted part.
        {R"("a""b" c)", {"a\"b c"}},
        {R"("a b""c d")", {"a b\"c", "d"}},
        {R"(""")", {"\""}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(shell::splitParameters(text), expected) << text;
}

TEST(QuoteParameter, SplitGivesBackExactlyTheArgument)
{
    const std::string arguments[] = {
        "/home/u/song.mid",
        "/home/u/My Songs/a b.mid",
        "/home/u/say \"hi\".wav",
        "/tmp/\"quoted\"",
        "ends in backslash \\",
        "back\\slashes\\\\ \\\"before\" quotes\\\\\"",
        "tab\there",
        "",
        "\\\\server\\share\\",
    };
    for (const auto& argument : arguments) {
        EXPECT_EQ(shell::splitParameters(shell::quoteParameter(argument)), Args{argument}) << argument;
        // Several quoted arguments side by side stay apart.
        const std::string line = shell::quoteParameter(argument) + " " + shell::quoteParameter(argument);
        EXPECT_EQ(shell::splitParameters(line), (Args{argument, argument})) << line;
    }
    EXPECT_EQ(shell::quoteParameter("/plain/path.mid"), "/plain/path.mid");
    EXPECT_EQ(shell::quoteParameter("/a b"), "\"/a b\"");
}
