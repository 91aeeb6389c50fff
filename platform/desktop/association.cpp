#include "platform/desktop/association.h"
#include "platform/desktop/list_text.h"

#include "platform/base/ascii.h"
#include "platform/base/process.h"
#include "platform/base/xdg.h"
#include "platform/fs/file_ops.h"
#include "platform/fs/folders.h"
#include "platform/fs/system_info.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace desktop {

namespace {

using base::ascii::toLower;
using list_text::splitList;
using list_text::trim;

// "mid" from ".MID"; empty when the extension holds anything a glob, an XML
// attribute or a file name would have to escape.
std::string plainExtension(const std::string& extension)
{
    std::string ext = toLower(extension.size() > 1 && extension.front() == '.' ? extension.substr(1) : extension);
    if (ext.empty() || ext.size() > 32 || ext.front() == '.')
        return {};
    for (char c : ext) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '+' || c == '-' ||
                        c == '~' || c == '.';
        if (!ok)
            return {};
    }
    return ext;
}

bool fail(std::string* error, const std::string& what)
{
    if (error)
        *error = what + ": " + std::strerror(errno);
    return false;
}

// Runs one of the desktop's cache builders on FOLDER when it is installed; the
// files we wrote are already in place, so a missing or failing tool only
// delays when the desktop notices them.
void runIfInstalled(const char* tool, const std::string& folder)
{
    if (const std::string program = base::process::findInPath(tool); !program.empty())
        base::process::runAndWait(program, {tool, folder});
}

const OwnType* ownTypeFor(const std::string& ext, std::span<const OwnType> ownTypes)
{
    for (const OwnType& t : ownTypes) {
        if (ext == plainExtension(t.extension))
            return &t;
    }
    return nullptr;
}

std::string ownTypeName(const std::string& ext, std::span<const OwnType> ownTypes)
{
    if (const OwnType* t = ownTypeFor(ext, ownTypes))
        return t->type;
    std::string sub;
    for (char c : ext)
        sub += (c == '~') ? '-' : c;
    return "application/x-quorvana-" + sub;
}

bool writeMimePackage(
    const std::string& ext, const std::string& type, std::span<const OwnType> ownTypes, std::string* error)
{
    const OwnType* own = ownTypeFor(ext, ownTypes);
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                      "  <mime-type type=\"" + type + "\">\n"
                      "    <comment>" + (own ? own->comment : "." + ext + " file") + "</comment>\n";
    if (own)
        xml += "    <sub-class-of type=\"" + own->parent + "\"/>\n";
    xml += "    <glob pattern=\"*." + ext + "\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
    std::string file = type.substr(type.find('/') + 1);
    if (file.rfind("x-", 0) == 0)
        file.erase(0, 2);
    const std::string mimeDir = base::xdg::dataHome() + "/mime";
    if (!kernel::writeFileMakingFolders(mimeDir + "/packages/" + file + ".xml", xml))
        return fail(error, "cannot write the MIME type of ." + ext);
    runIfInstalled("update-mime-database", mimeDir);
    return true;
}

// The MIME types the existing entry already lists, so that associating one
// extension keeps the others.
std::vector<std::string> listedTypes(const std::string& entryPath)
{
    std::string text;
    if (!kernel::readWholeFile(entryPath, text))
        return {};
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("MimeType=", 0) == 0)
            return splitList(line.substr(9));
    }
    return {};
}

bool writeDesktopEntry(const std::string& program, const std::string& type, std::string* error)
{
    const std::string path = base::xdg::dataHome() + "/applications/" + kDesktopEntryName;
    std::vector<std::string> types = listedTypes(path);
    if (std::find(types.begin(), types.end(), type) == types.end())
        types.push_back(type);
    std::string mimeTypes;
    for (const std::string& t : types)
        mimeTypes += t + ";";
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Quorvana\n"
                              "Comment=Play MIDI songs, wave sounds and AVI videos\n"
                              "Exec=" + execLine(program) + "\n"
                              "Terminal=false\n"
                              "Categories=AudioVideo;Audio;Player;\n"
                              "MimeType=" + mimeTypes + "\n";
    if (!kernel::writeFileMakingFolders(path, entry))
        return fail(error, "cannot write the desktop entry");
    runIfInstalled("update-desktop-database", base::xdg::dataHome() + "/applications");
    return true;
}

// An installed player has its desktop entry in the share folder beside its
// bin folder; that entry is the one the user's defaults name.
bool isInstalled(const std::string& program)
{
    const std::string bin = program.substr(0, program.find_last_of('/'));
    const std::string entry = bin + "/../share/applications/" + kDesktopEntryName;
    return ::access(entry.c_str(), F_OK) == 0;
}

// An entry of ours in the user's folder would hide the installed one (and may
// start a copy the user built somewhere); it goes.
void removeUserEntry()
{
    const std::string path = base::xdg::dataHome() + "/applications/" + kDesktopEntryName;
    std::string text;
    if (kernel::readWholeFile(path, text) && text.rfind("[Desktop Entry]\nType=Application\nName=Quorvana\n", 0) == 0) {
        ::unlink(path.c_str());
        runIfInstalled("update-desktop-database", base::xdg::dataHome() + "/applications");
    }
}

bool setDefault(const std::string& type, std::string* error)
{
    const std::string path = base::xdg::configHome() + "/mimeapps.list";
    std::string text;
    if (!kernel::readWholeFile(path, text) && errno != ENOENT)
        return fail(error, "cannot read mimeapps.list");
    if (!kernel::writeFileMakingFolders(path, withDefault(text, type, kDesktopEntryName)))
        return fail(error, "cannot write mimeapps.list");
    return true;
}

} // namespace

std::string moduleFileName()
{
    return kernel::moduleFileName();
}

std::optional<std::string> playerIn(const std::string& command)
{
    const std::string self = moduleFileName();
    if (self.empty())
        return std::nullopt;
    const std::string text = trim(command);
    std::string program;
    if (!text.empty() && text.front() == '"') {
        const auto close = text.find('"', 1);
        if (close == std::string::npos)
            return std::nullopt;
        program = text.substr(1, close - 1);
    } else if (text.rfind(self, 0) == 0 && (text.size() == self.size() || text[self.size()] == ' ')) {
        program = self;
    } else {
        program = text.substr(0, text.find(' '));
    }
    if (program == self)
        return program;
    std::error_code ec;
    if (!program.empty() && program.front() == '/' && std::filesystem::equivalent(program, self, ec) && !ec)
        return program;
    return std::nullopt;
}

std::string knownMimeType(const std::string& extension)
{
    const std::string ext = toLower(extension.size() > 1 && extension.front() == '.' ? extension.substr(1) : extension);
    const std::string pattern = "*." + ext;
    std::vector<std::string> dirs{base::xdg::dataHome()};
    for (const std::string& d : base::xdg::dataDirs())
        dirs.push_back(d);
    std::string best;
    int bestWeight = -1;
    for (const std::string& dir : dirs) {
        std::string text;
        if (!kernel::readWholeFile(dir + "/mime/globs2", text))
            continue;
        std::stringstream in(text);
        for (std::string line; std::getline(in, line);) {
            // weight:type:pattern[:flags]
            const auto a = line.find(':');
            const auto b = a == std::string::npos ? a : line.find(':', a + 1);
            if (line.empty() || line.front() == '#' || b == std::string::npos)
                continue;
            const auto c = line.find(':', b + 1);
            const std::string glob = line.substr(b + 1, c == std::string::npos ? c : c - b - 1);
            const bool caseSensitive = c != std::string::npos && line.find("cs", c) != std::string::npos;
            if ((caseSensitive ? glob : toLower(glob)) != pattern)
                continue;
            const int weight = std::atoi(line.substr(0, a).c_str());
            if (weight > bestWeight) {
                bestWeight = weight;
                best = line.substr(a + 1, b - a - 1);
            }
        }
    }
    return best;
}

std::string mimeTypeFor(const std::string& extension, std::span<const OwnType> ownTypes)
{
    const std::string known = knownMimeType(extension);
    return known.empty() ? ownTypeName(plainExtension(extension), ownTypes) : known;
}

std::string execLine(const std::string& program)
{
    // Quoting rules of the desktop entry format, then its string escapes.
    static const char reserved[] = " \t\n\"'\\><~|&;$*?#()`";
    std::string arg;
    if (program.find_first_of(reserved) == std::string::npos) {
        arg = program;
    } else {
        arg = "\"";
        for (char c : program) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                arg += '\\';
            arg += c;
        }
        arg += '"';
    }
    std::string line;
    for (char c : arg) {
        if (c == '%')
            line += "%%";
        else if (c == '\\')
            line += "\\\\";
        else
            line += c;
    }
    return line + " %f";
}

bool associate(
    const std::string& extension, const std::string& program, std::span<const OwnType> ownTypes, std::string* error)
{
    const std::string ext = plainExtension(extension);
    if (ext.empty())
        return true;
    for (char c : program) {
        if (static_cast<unsigned char>(c) < 0x20) {
            if (error)
                *error = "the program path cannot be written into a desktop entry";
            return false;
        }
    }
    std::string type = knownMimeType(ext);
    if (type.empty()) {
        type = ownTypeName(ext, ownTypes);
        if (!writeMimePackage(ext, type, ownTypes, error))
            return false;
    }
    if (isInstalled(program))
        removeUserEntry();
    else if (!writeDesktopEntry(program, type, error))
        return false;
    return setDefault(type, error);
}

} // namespace desktop
