#include "platform/desktop/association.h"
#include "platform/desktop/list_text.h"

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

namespace desktop {

namespace {

using list_text::splitList;
using list_text::trim;

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The index of the line HEADER; the count of LINES when there is none.
std::size_t lineOf(const std::vector<std::string>& lines, const std::string& header)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (trim(lines[i]) == header)
            return i;
    }
    return lines.size();
}

// MIMEAPPS with a group HEADER added at its end, naming ENTRY for TYPE.
std::string withNewGroup(
    const std::string& mimeapps, const std::string& header, const std::string& type, const std::string& entry)
{
    std::string out = mimeapps;
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    if (!out.empty())
        out += '\n';
    return out + header + "\n" + type + "=" + entry + ";\n";
}

// Puts ENTRY first on TYPE's lines of the group whose header is at GROUP, or
// adds such a line after the group's last entry; tells whether the added
// line is the last of all.
bool putEntryFirst(
    std::vector<std::string>& lines, std::size_t group, const std::string& type, const std::string& entry)
{
    std::size_t insertAt = group + 1;
    bool replaced = false;
    for (std::size_t i = group + 1; i < lines.size() && !(trim(lines[i]).rfind("[", 0) == 0); ++i) {
        const auto eq = lines[i].find('=');
        if (!trim(lines[i]).empty())
            insertAt = i + 1;
        if (eq == std::string::npos || trim(lines[i].substr(0, eq)) != type)
            continue;
        std::string value = entry + ";";
        for (const std::string& item : splitList(lines[i].substr(eq + 1))) {
            if (trim(item) != entry)
                value += trim(item) + ";";
        }
        lines[i] = type + "=" + value;
        replaced = true;
    }
    if (replaced)
        return false;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), type + "=" + entry + ";");
    return insertAt + 1 == lines.size();
}

} // namespace

std::string withDefault(const std::string& mimeapps, const std::string& type, const std::string& entry)
{
    // Listed as associated too, so that file managers offer it among the
    // type's programs and not only as the default.
    return withEntryFirst(
        withEntryFirst(mimeapps, "Default Applications", type, entry), "Added Associations", type, entry);
}

std::string withEntryFirst(
    const std::string& mimeapps, const std::string& groupName, const std::string& type, const std::string& entry)
{
    const std::string header = "[" + groupName + "]";
    std::vector<std::string> lines = linesOf(mimeapps);
    const std::size_t group = lineOf(lines, header);
    if (group == lines.size())
        return withNewGroup(mimeapps, header, type, entry);
    const bool endsWithNewline = !mimeapps.empty() && mimeapps.back() == '\n';
    const bool lastIsNew = putEntryFirst(lines, group, type, entry);
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i + 1 < lines.size() || endsWithNewline || lastIsNew)
            out += '\n';
    }
    return out;
}

} // namespace desktop
