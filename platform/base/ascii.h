#pragma once
// ASCII case folding: only A-Z and a-z change, so that bytes of other
// encodings in file names and keys pass through untouched.
#include <string>

namespace ascii {

constexpr char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string lower(std::string s)
{
    for (char& c : s)
        c = lower(c);
    return s;
}

inline std::string upper(std::string s)
{
    for (char& c : s)
        c = upper(c);
    return s;
}

} // namespace ascii
