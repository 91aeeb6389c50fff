#include "platform/registry/registry.h"
#include "platform/registry/store.h"

#include <gtest/gtest.h>

using namespace registry;
using namespace registry::store;

namespace {

std::string dword(std::uint32_t v)
{
    std::string d;
    for (int i = 0; i < 4; ++i)
        d += static_cast<char>((v >> (8 * i)) & 0xFF);
    return d;
}

Store sample()
{
    Store s;
    Key& cmd = s.root(Root::ClassesRoot).childOrCreate(".mid").childOrCreate("shell").childOrCreate("open")
                   .childOrCreate("command");
    cmd.setValue({"", REG_SZ, std::string("/opt/q player/quorvana %1\0", 26)});
    Key& k = s.root(Root::CurrentUser).childOrCreate("Software").childOrCreate("Odd [names]");
    k.setValue({"back\\slash \"quoted\"\nline", REG_DWORD, dword(0xFFFFFFFF)});
    k.setValue({"empty text", REG_SZ, std::string(1, '\0')});
    k.setValue({"no zero", REG_SZ, "abc"});
    k.setValue({"control", REG_SZ, std::string("a\nb\0", 4)});
    k.setValue({"bin", REG_BINARY, std::string("\x05\0\0\0\0\0\0\0\0\0\0\0\0\0\xf8\x3f", 16)});
    k.setValue({"short dword", REG_DWORD, "\x01\x02"});
    k.setValue({"expand", REG_EXPAND_SZ, std::string("%HOME%\0", 7)});
    k.setValue({"none", 0x12345678, ""});
    k.setValue({"big", REG_BINARY, std::string(1000, '\xAB')});
    s.root(Root::LocalMachine).childOrCreate("Empty").childOrCreate("Deeper");
    s.root(Root::Users).setValue({"", REG_SZ, std::string("root default\0", 13)});
    return s;
}

void expectSameKey(const Key& a, const Key& b)
{
    EXPECT_EQ(a.name(), b.name());
    ASSERT_EQ(a.values().size(), b.values().size()) << a.name();
    for (std::size_t i = 0; i < a.values().size(); ++i) {
        EXPECT_EQ(a.values()[i].name, b.values()[i].name);
        EXPECT_EQ(a.values()[i].type, b.values()[i].type) << a.values()[i].name;
        EXPECT_EQ(a.values()[i].data, b.values()[i].data) << a.values()[i].name;
    }
    ASSERT_EQ(a.children().size(), b.children().size()) << a.name();
    for (const auto& [folded, child] : a.children()) {
        const Key* other = b.child(child->name());
        ASSERT_NE(other, nullptr) << child->name();
        expectSameKey(*child, *other);
    }
}

} // namespace

TEST(StoreText, RoundTripKeepsEveryTypeNameAndEmptyKey)
{
    const Store original = sample();
    const std::string text = serialize(original);
    std::string error;
    const auto back = parse(text, &error);
    ASSERT_TRUE(back) << error;
    for (std::size_t r = 0; r < kRootCount; ++r)
        expectSameKey(original.roots[r], back->roots[r]);
    // And the text is stable: writing what was read gives the same bytes.
    EXPECT_EQ(serialize(*back), text);
}

TEST(StoreText, WritesRegedit4Lines)
{
    const std::string text = serialize(sample());
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\.mid\\shell\\open\\command]\n@=\"/opt/q player/quorvana %1\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"back\\\\slash \\\"quoted\\\"\\nline\"=dword:ffffffff\n"), std::string::npos);
    EXPECT_NE(text.find("\"empty text\"=\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"bin\"=hex:05,00,00,00,00,00,00,00,00,00,00,00,00,00,f8,3f\n"), std::string::npos);
    EXPECT_NE(text.find("\"no zero\"=hex(1):61,62,63\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Empty\\Deeper]\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_USERS]\n@=\"root default\"\n"), std::string::npos);
    // Long binary data wraps like regedit's export.
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_LE(end - start, 80u + 3);
}

TEST(StoreText, RefusesAnythingItCannotFullyRead)
{
    const std::string good = serialize(sample());
    // Cut anywhere, a store is recognised as incomplete.
    for (std::size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(parse(good.substr(0, cut))) << "cut at " << cut;

    const std::string header = "REGEDIT4\n\n";
    const std::string trailer = "; end\n";
    const char* const broken[] = {
        "",
        "\x7f" "ELF\x02\x01\x01 garbage",
        "REGEDIT5\n\n; end\n",
        "REGEDIT4\n\"a\"=\"outside any key\"\n; end\n",
    };
    for (const char* text : broken)
        EXPECT_FALSE(parse(text)) << text;
    const char* const badBodies[] = {
        "[HKEY_NOWHERE\\x]\n",
        "[HKEY_CURRENT_USER\\x\n",
        "[HKEY_DYN_DATA\\x]\n",
        "[HKEY_CURRENT_USER\\a\\\\b]\n",
        "[HKEY_CURRENT_USER\\x]\n\"a\"=hex:0g\n",
        "[HKEY_CURRENT_USER\\x]\n\"a\"=hex:01,02,\\\n",
        "[HKEY_CURRENT_USER\\x]\n\"a\"=dword:123456789\n",
        "[HKEY_CURRENT_USER\\x]\n\"a\"=\"unterminated\n",
        "[HKEY_CURRENT_USER\\x]\n\"a\"=\"x\" trailing\n",
        "[HKEY_CURRENT_USER\\x]\n\"a\"=-\n",
        "[HKEY_CURRENT_USER\\x]\n\"a\\q\"=\"x\"\n",
        "[HKEY_CURRENT_USER\\x]\nloose text\n",
    };
    for (const char* body : badBodies)
        EXPECT_FALSE(parse(header + body + trailer)) << body;
    EXPECT_TRUE(parse(header + "[HKEY_CURRENT_USER\\x]\n\"a\"=hex:01,\\\n  02\n" + trailer));
}

TEST(StoreText, RefusesNamesAndDepthsBeyondTheRegistryLimits)
{
    const std::string header = "REGEDIT4\n\n";
    const std::string trailer = "; end\n";
    EXPECT_TRUE(parse(header + "[HKEY_CURRENT_USER\\" + std::string(255, 'k') + "]\n" + trailer));
    EXPECT_FALSE(parse(header + "[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\n" + trailer));
    std::string deep = "[HKEY_CURRENT_USER";
    for (std::size_t i = 0; i <= kMaxKeyDepth; ++i)
        deep += "\\k";
    EXPECT_FALSE(parse(header + deep + "]\n" + trailer));
}

// As on Windows: one value, keeping the name it was first written with,
// holding what was written last.
TEST(StoreKey, AValueWrittenUnderAnotherCaseOfItsNameIsTheSameValue)
{
    Key key;
    key.setValue({"Name", REG_SZ, "first"});
    key.setValue({"NAME", REG_DWORD, dword(7)});
    ASSERT_EQ(key.values().size(), 1u);
    EXPECT_EQ(key.values()[0].name, "Name");
    EXPECT_EQ(key.values()[0].type, REG_DWORD);
    EXPECT_EQ(key.values()[0].data, dword(7));
}
