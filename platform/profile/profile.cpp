#include "platform/profile/profile.h"

#include "platform/base/ascii.h"
#include "platform/base/xdg.h"

#include "platform/fs/file_ops.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

using base::ascii::equalIgnoringCase;

enum class Kind { Blank, Comment, Section, Key };

struct Parsed {
    Kind kind = Kind::Blank;
    std::string_view name;
    std::optional<std::string_view> value; // keys without "=" have none
};

Parsed classify(std::string_view line)
{
    Parsed p;
    const std::string_view content = trim(line);
    if (content.empty()) {
        p.kind = Kind::Blank;
    } else if (content.front() == ';') {
        p.kind = Kind::Comment;
    } else if (const auto close = content.rfind(']'); content.front() == '[' && close != std::string_view::npos) {
        p.kind = Kind::Section;
        p.name = trim(content.substr(1, close - 1));
    } else {
        p.kind = Kind::Key;
        const auto equals = content.find('=');
        p.name = trim(content.substr(0, equals));
        if (equals != std::string_view::npos)
            p.value = trim(content.substr(equals + 1));
    }
    return p;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The lines of a file, read a piece at a time: what is held is the longest
// line and one piece, however large the file.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}

    // The next line's text without its line end; false at the end.
    bool next(std::string_view& line)
    {
        if (first_) {
            first_ = false;
            while (buffer_.size() < kByteOrderMark.size() && fill()) {
            }
            // A byte-order mark is not part of the first line's text.
            if (std::string_view(buffer_).substr(0, kByteOrderMark.size()) == kByteOrderMark)
                pos_ = scanned_ = kByteOrderMark.size();
        }
        for (;;) {
            const size_t at = buffer_.find_first_of("\r\n", scanned_);
            // A CR at the end of what we have may be the first half of a CRLF.
            if (at != std::string::npos && !(buffer_[at] == '\r' && at + 1 == buffer_.size() && !ended_)) {
                line = std::string_view(buffer_).substr(pos_, at - pos_);
                pos_ = at + (buffer_[at] == '\r' && at + 1 < buffer_.size() && buffer_[at + 1] == '\n' ? 2 : 1);
                scanned_ = pos_;
                return true;
            }
            if (ended_) {
                if (pos_ >= buffer_.size())
                    return false;
                line = std::string_view(buffer_).substr(pos_);
                pos_ = scanned_ = buffer_.size();
                return true;
            }
            scanned_ = at == std::string::npos ? buffer_.size() : at;
            fill();
        }
    }

private:
    bool fill()
    {
        if (pos_ > 0) {
            buffer_.erase(0, pos_);
            scanned_ -= pos_;
            pos_ = 0;
        }
        char piece[65536];
        for (;;) {
            const ssize_t n = ::read(fd_, piece, sizeof piece);
            if (n > 0) {
                buffer_.append(piece, static_cast<size_t>(n));
                return true;
            }
            if (n < 0 && errno == EINTR)
                continue;
            ended_ = true; // a read error ends the file where it stands
            return false;
        }
    }

    int fd_;
    std::string buffer_;
    size_t pos_ = 0;     // start of the next line in buffer_
    size_t scanned_ = 0; // buffer_ holds no line end between pos_ and here
    bool first_ = true;
    bool ended_ = false;
};

// Where a line is in a file image, and what it says.
struct Line : Parsed {
    size_t begin = 0; // first byte of the text
    size_t end = 0;   // first byte of the line end
    size_t next = 0;  // first byte of the following line
};

// Calls VISIT with every line of TEXT in order until it returns false.
template <typename Visit>
void forEachLine(std::string_view text, Visit&& visit)
{
    size_t at = text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
    while (at < text.size()) {
        Line line;
        line.begin = at;
        while (at < text.size() && text[at] != '\n' && text[at] != '\r')
            ++at;
        line.end = at;
        if (at < text.size())
            at += (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1;
        line.next = at;
        static_cast<Parsed&>(line) = classify(text.substr(line.begin, line.end - line.begin));
        if (!visit(line))
            return;
    }
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

// The few lines of a file that matter to setting one key.
struct Landmarks {
    std::optional<Line> header; // the section's header
    std::optional<Line> lastKey; // its last entry
    std::optional<Line> found; // the key's line
    std::optional<Line> last; // the file's last line
};

// Notes the landmarks in one pass. Only the first section of that name
// counts, and in it the first such key.
Landmarks landmarksOf(const std::string& bytes, std::string_view section, std::string_view key)
{
    Landmarks marks;
    bool inSection = false;
    forEachLine(bytes, [&](const Line& line) {
        marks.last = line;
        if (line.kind == Kind::Section) {
            inSection = !marks.header && equalIgnoringCase(line.name, section);
            if (inSection)
                marks.header = line;
        } else if (inSection && line.kind == Kind::Key && !marks.found) {
            marks.lastKey = line;
            if (equalIgnoringCase(line.name, key))
                marks.found = line;
        }
        return true;
    });
    return marks;
}

// BYTES with a new SECTION holding ENTRY at its end, after LAST, its last line.
std::string withSection(std::string out, const std::optional<Line>& last, std::string_view section,
    const std::string& entry, const std::string& eol)
{
    if (last) {
        if (last->end == last->next)
            out += eol;
        if (last->kind != Kind::Blank)
            out += eol; // a blank line between sections
    }
    return out + "[" + std::string(section) + "]" + eol + entry + eol;
}

// The file's bytes with KEY set, or nothing when it already holds VALUE.
std::optional<std::string> withValue(
    const std::string& bytes, std::string_view section, std::string_view key, std::string_view value)
{
    const Landmarks marks = landmarksOf(bytes, section, key);
    const std::string eol = lineEndOf(bytes);
    std::string entry = std::string(key) + "=" + std::string(value);
    if (!marks.header)
        return withSection(bytes, marks.last, section, entry, eol);
    std::string out = bytes;
    if (const auto& found = marks.found) {
        if (found->value && *found->value == value)
            return std::nullopt;
        // The key keeps its spelling in the file; only this line's text changes.
        entry = std::string(found->name) + "=" + std::string(value);
        return out.replace(found->begin, found->end - found->begin, entry);
    }
    // A new key goes after the section's last entry, ahead of the blank lines
    // and comments that lead to the next section.
    const Line& anchor = marks.lastKey ? *marks.lastKey : *marks.header;
    if (anchor.end == anchor.next)
        return out.insert(anchor.next, eol + entry);
    return out.insert(anchor.next, entry + eol);
}

// The value of KEY as FILE holds it, before any buffer limit; nothing when
// the file, the section or the key is absent.
std::optional<std::string> lookUp(const std::string& file, std::string_view section, std::string_view key)
{
    struct stat st {};
    const int fd = kernel::openRegularFile(file, &st);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> result;
    if (static_cast<uint64_t>(st.st_size) > kernel::kMaxSettingsFileBytes) {
        errno = EFBIG; // refused unread, as a write refuses it
    } else {
        // Only the first section of that name counts, and in it the first such key.
        LineReader reader(fd);
        bool inSection = false;
        std::string_view text;
        while (reader.next(text)) {
            const Parsed line = classify(text);
            if (line.kind == Kind::Section) {
                if (inSection)
                    break;
                inSection = equalIgnoringCase(line.name, section);
            } else if (inSection && line.kind == Kind::Key && equalIgnoringCase(line.name, key)) {
                if (line.value) {
                    std::string_view value = *line.value;
                    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
                        && value.back() == value.front())
                        value = value.substr(1, value.size() - 2);
                    // What a C buffer would show.
                    result = std::string(value.substr(0, value.find('\0')));
                }
                break;
            }
        }
    }
    ::close(fd);
    return result;
}

std::string cutTo(std::string value, std::size_t bufferSize)
{
    if (value.size() > bufferSize - 1)
        value.resize(bufferSize - 1);
    return value;
}

} // namespace

std::string getString(const std::string& file, const std::string& section, const std::string& key,
    const std::string& defaultValue, std::size_t bufferSize)
{
    if (bufferSize == 0)
        return {};
    if (std::optional<std::string> value = lookUp(file, trim(section), trim(key)))
        return cutTo(std::move(*value), bufferSize);
    std::string result(defaultValue.substr(0, defaultValue.find('\0')));
    while (!result.empty() && result.back() == ' ')
        result.pop_back();
    return cutTo(std::move(result), bufferSize);
}

std::optional<std::string> findString(
    const std::vector<std::string>& files, const std::string& section, const std::string& key, std::size_t bufferSize)
{
    for (const std::string& file : files) {
        if (std::optional<std::string> value = lookUp(file, trim(section), trim(key)))
            return bufferSize == 0 ? std::string() : cutTo(std::move(*value), bufferSize);
    }
    return std::nullopt;
}

std::vector<std::string> siteWideFiles(const std::string& relative)
{
    std::vector<std::string> files;
    for (const std::string& dir : base::xdg::configDirs())
        files.push_back(dir + "/" + relative);
    return files;
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
    // A file past the read limit would read as all defaults from then on.
    if (updated->size() > kernel::kMaxSettingsFileBytes) {
        errno = EFBIG;
        return false;
    }
    const kernel::Status written = kernel::writeFileAtomically(file, *updated);
    if (!written.ok()) {
        errno = written.error;
        return false;
    }
    return true;
}

} // namespace profile
