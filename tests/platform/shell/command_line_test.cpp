#include "platform/shell/shell.h"

#include <gtest/gtest.h>

using Args = std::vector<std::string>;

TEST(SplitParameters, WindowsCommandLineRules)
{
    const std::pair<std::string, Args> cases[] = {
        {"  \t ", {}},
        {"  a b\tc  ", {"a", "b", "c"}},
        {R"(a\\b d"e f"g h)", {R"(a\\b)", "de fg", "h"}},
        {R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
        {R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
        {R"("/home/u/My Songs/a.mid")", {"/home/u/My Songs/a.mid"}},
        {R"(a "" b)", {"a", "", "b"}},
        {R"(trailing\ "open quote)", {R"(trailing\)", "open quote"}},
        // Inside quotes a doubled quote is a literal one and ends the quoted part.
        {R"("a b""c d")", {"a b\"c", "d"}},
        {R"("a""b" c)", {"a\"b c"}},
        {R"(""")", {"\""}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(shell::splitParameters(text), expected) << text;
}

TEST(QuoteParameter, SplitGivesBackExactlyTheArgument)
{
    for (const std::string argument : {"/home/u/My Songs/a b.mid", "/home/u/say \"hi\".wav", "/tmp/\"q\"",
                                       "ends in backslash \\", "back\\slashes\\\\ \\\"before\" quotes\\\\\"",
                                       "tab\there", "", "\\\\server\\share\\"}) {
        const std::string quoted = shell::quoteParameter(argument);
        EXPECT_EQ(shell::splitParameters(quoted + " " + quoted), (Args{argument, argument})) << quoted;
    }
    EXPECT_EQ(shell::quoteParameter("/plain/path.mid"), "/plain/path.mid");
    EXPECT_EQ(shell::quoteParameter("/a b"), "\"/a b\"");
}
