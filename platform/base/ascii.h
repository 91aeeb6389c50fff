#pragma once
// Case folding of plain ASCII letters only. Names the player compares without
// regard to case (extensions, registry keys, profile sections) are matched
// the Windows way, where the user's locale must not turn one byte of a UTF-8
// name into another.
#include <cstddef>
#include <string>
#include <string_view>

namespace base::ascii {

constexpr char toLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char toUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string toLower(std::string text)
{
    for (char& c : text)
        c = toLower(c);
    return text;
}

inline std::string toUpper(std::string text)
{
    for (char& c : text)
        c = toUpper(c);
    return text;
}

constexpr bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (toLower(a[i]) != toLower(b[i]))
            return false;
    }
    return true;
}

} // namespace base::ascii
