#include "platform/profile/profile.h"

#include "platform/fs/kernel.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace profile {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

enum class Kind { Blank, Comment, Section, Key };

struct Line {
    size_t begin = 0; // first byte of the text
    size_t end = 0;   // first byte of the line end
    size_t next = 0;  // first byte of the following line
    Kind kind = Kind::Blank;
    std::string_view name;
    std::optional<std::string_view> value; // keys without "=" have none
};

Line classify(std::string_view text, Line line)
{
    const std::string_view content = trim(text.substr(line.begin, line.end - line.begin));
    if (content.empty()) {
        line.kind = Kind::Blank;
    } else if (content.front() == ';') {
        line.kind = Kind::Comment;
    } else if (const auto close = content.rfind(']'); content.front() == '[' && close != std::string_view::npos) {
        line.kind = Kind::Section;
        line.name = trim(content.substr(1, close - 1));
    } else {
        line.kind = Kind::Key;
        const auto equals = content.find('=');
        line.name = trim(content.substr(0, equals));
        if (equals != std::string_view::npos)
            line.value = trim(content.substr(equals + 1));
    }
    return line;
}

std::vector<Line> splitLines(std::string_view text)
{
    std::vector<Line> lines;
    size_t at = 0;
    // A byte-order mark is not part of the first line's text.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        at = 3;
    while (at < text.size()) {
        Line line;
        line.begin = at;
        while (at < text.size() && text[at] != '\n' && text[at] != '\r')
            ++at;
        line.end = at;
        if (at < text.size())
            at += (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1;
        line.next = at;
        lines.push_back(classify(text, line));
    }
    return lines;
}

// Where SECTION's lines are: the header's index and one past its last line.
struct SectionRange {
    size_t header = 0;
    size_t end = 0;
};

std::optional<SectionRange> findSection(const std::vector<Line>& lines, std::string_view section)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != Kind::Section || !sameName(lines[i].name, section))
            continue;
        size_t end = i + 1;
        while (end < lines.size() && lines[end].kind != Kind::Section)
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

const Line* findKey(const std::vector<Line>& lines, const SectionRange& range, std::string_view key)
{
    for (size_t i = range.header + 1; i < range.end; ++i)
        if (lines[i].kind == Kind::Key && sameName(lines[i].name, key))
            return &lines[i];
    return nullptr;
}

std::string lineEndOf(std::string_view text)
{
    const auto at = text.find_first_of("\r\n");
    if (at == std::string_view::npos)
        return "\r\n";
    if (text[at] == '\n')
        return "\n";
    return at + 1 < text.size() && text[at + 1] == '\n' ? "\r\n" : "\r";
}

bool breaksLines(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

// Serialises the read-modify-write of every profile file in one folder across
// processes; the lock goes with the descriptor.
class FolderLock {
public:
    explicit FolderLock(const std::string& file)
    {
        const auto slash = file.find_last_of('/');
        const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
        fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock()
    {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

// The file's bytes with KEY set, or nothing when it already holds VALUE.
std::optional<std::string> withValue(const std::string& bytes, std::string_view section, std::string_view key,
                                     std::string_view value)
{
    const std::vector<Line> lines = splitLines(bytes);
    const std::string eol = lineEndOf(bytes);
    std::string entry = std::string(key) + "=" + std::string(value);
    std::string out = bytes;

    const auto range = findSection(lines, section);
    if (!range) {
        if (!lines.empty()) {
            if (lines.back().end == lines.back().next)
                out += eol;
            if (lines.back().kind != Kind::Blank)
                out += eol; // a blank line between sections
        }
        return out + "[" + std::string(section) + "]" + eol + entry + eol;
    }
    if (const Line* line = findKey(lines, *range, key)) {
        if (line->value && *line->value == value)
            return std::nullopt;
        // The key keeps its spelling in the file; only this line's text changes.
        entry = std::string(line->name) + "=" + std::string(value);
        return out.replace(line->begin, line->end - line->begin, entry);
    }
    // A new key goes after the section's last entry, ahead of the blank lines
    // and comments that lead to the next section.
    size_t anchor = range->header;
    for (size_t i = range->header + 1; i < range->end; ++i)
        if (lines[i].kind == Kind::Key)
            anchor = i;
    const Line& last = lines[anchor];
    if (last.end == last.next)
        return out.insert(last.next, eol + entry);
    return out.insert(last.next, entry + eol);
}

} // namespace

std::string getString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& defaultValue, std::size_t bufferSize)
{
    if (bufferSize == 0)
        return {};
    std::string result(defaultValue.substr(0, defaultValue.find('\0')));
    while (!result.empty() && result.back() == ' ')
        result.pop_back();

    std::string bytes;
    if (kernel::readWholeFile(file, bytes)) {
        const std::vector<Line> lines = splitLines(bytes);
        if (const auto range = findSection(lines, trim(section))) {
            const Line* line = findKey(lines, *range, trim(key));
            if (line && line->value) {
                std::string_view value = *line->value;
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                    value = value.substr(1, value.size() - 2);
                // What a C buffer would show.
                result = std::string(value.substr(0, value.find('\0')));
            }
        }
    }
    if (result.size() > bufferSize - 1)
        result.resize(bufferSize - 1);
    return result;
}

bool writeString(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value)
{
    const std::string_view sectionName = trim(section);
    const std::string_view keyName = trim(key);
    // Anything that would end the line early, or make the line read back as
    // something else, would corrupt the file: refuse it instead.
    if (file.empty() || sectionName.empty() || keyName.empty() || breaksLines(section) || breaksLines(key)
        || breaksLines(value) || keyName.find('=') != std::string_view::npos || keyName.front() == '['
        || keyName.front() == ';') {
        errno = EINVAL;
        return false;
    }

    FolderLock lock(file);
    std::string bytes;
    if (!kernel::readWholeFile(file, bytes)) {
        if (errno != ENOENT)
            return false; // never replace a file that could not be read
        bytes.clear();
    }
    const auto updated = withValue(bytes, sectionName, keyName, value);
    if (!updated)
        return true;
    const kernel::Status written = kernel::writeFileAtomically(file, *updated);
    if (!written.ok()) {
        errno = written.error;
        return false;
    }
    return true;
}

} // namespace profile
