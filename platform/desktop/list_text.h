#pragma once
// The text of the desktop's list files (desktop entries, mimeapps.list):
// blanks around items and keys mean nothing, and lists end in ";".
#include <sstream>
#include <string>
#include <vector>

namespace desktop::list_text {

// The items of a ";"-separated LIST, empty ones left out.
inline std::vector<std::string> splitList(const std::string& list)
{
    std::vector<std::string> out;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ';');) {
        if (!item.empty())
            out.push_back(item);
    }
    return out;
}

inline std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

} // namespace desktop::list_text
