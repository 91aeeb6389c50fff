#include "platform/fs/volumes.h"

#include "platform/base/ascii.h"
#include "platform/base/xdg.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <fstream>
#include <map>
#include <mntent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace volumes {

namespace {

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Kinds of mount that hold no user files.
bool isPseudoFileSystem(const char* type)
{
    static const char* const pseudo[] = {
        "proc",      "sysfs",    "devtmpfs", "devpts",      "tmpfs",           "ramfs",       "cgroup",
        "cgroup2",   "mqueue",   "debugfs",  "tracefs",     "securityfs",      "pstore",      "bpf",
        "hugetlbfs", "configfs", "fusectl",  "binfmt_misc", "autofs",          "efivarfs",    "rpc_pipefs",
        "nsfs",      "selinuxfs", "squashfs", "overlay",    "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs",
        "nfsd",      "swap",     "none",     "devfs",
    };
    return std::any_of(std::begin(pseudo), std::end(pseudo),
                       [type](const char* p) { return std::strcmp(p, type) == 0; });
}

bool isSystemFolder(const std::string& path)
{
    for (const std::string prefix : {"/proc", "/sys", "/dev", "/etc", "/run", "/snap"}) {
        if (path == prefix || startsWith(path, prefix + "/"))
            return !startsWith(path, "/run/media/");
    }
    return false;
}

bool isUserVolume(const mntent& entry, const std::string& mountPoint)
{
    if (mountPoint == "/tmp")
        return true;
    if (isPseudoFileSystem(entry.mnt_type) || isSystemFolder(mountPoint))
        return false;
    // Containers bind single files (/etc/hosts and the like) from real disks;
    // stat only local devices, a dead network server would hang it.
    if (std::strncmp(entry.mnt_fsname, "/dev/", 5) == 0)
        return isFolder(mountPoint);
    return true;
}

std::string& mountTablePath()
{
    static std::string path = "/proc/self/mounts";
    return path;
}

// The folder last made current on each drive, keyed by the drive's folder.
std::map<std::string, std::string>& folderOfDrive()
{
    static std::map<std::string, std::string> folders;
    return folders;
}

// True when the entry is (or links to) something of KIND; d_type spares the
// stat for nearly every entry.
bool entryIs(int folderFd, const dirent& entry, EntryKind kind)
{
    const unsigned char wanted = kind == EntryKind::Files ? DT_REG : DT_DIR;
    if (entry.d_type == wanted)
        return true;
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK)
        return false;
    struct stat st;
    if (fstatat(folderFd, entry.d_name, &st, 0) != 0)
        return false;
    return kind == EntryKind::Files ? S_ISREG(st.st_mode) : S_ISDIR(st.st_mode);
}

} // namespace

std::string currentFolder()
{
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return "/";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string absolutePath(const std::string& path)
{
    const std::string absolute = startsWith(path, "/") ? path : currentFolder() + "/" + path;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= absolute.size()) {
        size_t end = absolute.find('/', start);
        if (end == std::string::npos)
            end = absolute.size();
        const std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string clean;
    for (const std::string& part : parts)
        clean += "/" + part;
    return clean.empty() ? "/" : clean;
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool isFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void setMountTable(const std::string& path) { mountTablePath() = path; }

std::vector<std::string> mountPoints() { return mountPoints(mountTablePath().c_str()); }

std::vector<std::string> mountPoints(const char* mountTable)
{
    std::vector<std::string> points{"/"};
    FILE* table = setmntent(mountTable, "r");
    if (!table)
        return points;
    mntent entry;
    std::vector<char> buffer(16384);
    while (getmntent_r(table, &entry, buffer.data(), int(buffer.size()))) {
        const std::string point = entry.mnt_dir;
        if (!startsWith(point, "/") || std::find(points.begin(), points.end(), point) != points.end()
            || !isUserVolume(entry, point))
            continue;
        points.push_back(point);
    }
    endmntent(table);
    std::sort(points.begin() + 1, points.end());
    return points;
}

namespace {

// The value of "KEY=\"...\"" in a user-dirs.dirs line, shell quoting undone;
// "$HOME" only at its start, as the file's rules allow.
std::string userDirValue(const std::string& line, const std::string& key, const std::string& home)
{
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size() + 2, key + "=\"") != 0)
        return {};
    std::string value;
    for (size_t i = start + key.size() + 2; i < line.size() && line[i] != '"'; ++i)
        value += line[i] == '\\' && i + 1 < line.size() ? line[++i] : line[i];
    if (value == "$HOME" || startsWith(value, "$HOME/"))
        return home + value.substr(5);
    return startsWith(value, "/") ? value : std::string();
}

std::string musicFolder(const std::string& home)
{
    std::ifstream in(base::xdg::configHome() + "/user-dirs.dirs");
    std::string folder;
    for (std::string line; std::getline(in, line);) {
        if (const std::string value = userDirValue(line, "XDG_MUSIC_DIR", home); !value.empty())
            folder = value; // the last one counts, as when the shell reads the file
    }
    return folder;
}

} // namespace

std::vector<Drive> userFolders()
{
    std::vector<Drive> folders;
    const std::string home = absolutePath(base::xdg::homeFolder());
    if (home != "/" && isFolder(home))
        folders.push_back({home, "Home"});
    const std::string music = musicFolder(home);
    if (music.empty())
        return folders;
    const std::string clean = absolutePath(music);
    if (clean != "/" && clean != home && isFolder(clean))
        folders.push_back({clean, clean.substr(clean.rfind('/') + 1)});
    return folders;
}

std::vector<Drive> drives()
{
    std::vector<Drive> all = userFolders();
    const size_t own = all.size();
    for (const std::string& point : mountPoints()) {
        if (std::none_of(all.begin(), all.begin() + long(own), [&](const Drive& d) { return d.path == point; }))
            all.push_back({point, point});
    }
    return all;
}

std::string driveOf(const std::string& path)
{
    std::vector<std::string> points;
    for (const Drive& drive : drives())
        points.push_back(drive.path);
    return driveOf(path, points);
}

std::string driveOf(const std::string& path, const std::vector<std::string>& points)
{
    const std::string absolute = absolutePath(path);
    std::string best = "/";
    for (const std::string& point : points) {
        if (point.size() > best.size() && (absolute == point || startsWith(absolute, point + "/")))
            best = point;
    }
    return best;
}

std::string rememberedFolder(const std::string& drive)
{
    const auto found = folderOfDrive().find(drive);
    if (found != folderOfDrive().end())
        return found->second;
    // The folder the process started in is current on its drive.
    const std::string start = currentFolder();
    return driveOf(start) == drive ? start : drive;
}

// "*.ext" is by far the common form and is checked as a plain suffix; fnmatch
// in a UTF-8 locale converts every name to wide characters, which costs more
// than the whole rest of a listing.
NameMask::NameMask(const std::string& mask)
{
    size_t start = 0;
    while (start <= mask.size()) {
        size_t end = mask.find(';', start);
        if (end == std::string::npos)
            end = mask.size();
        std::string pattern = mask.substr(start, end - start);
        start = end + 1;
        while (!pattern.empty() && pattern.front() == ' ')
            pattern.erase(0, 1);
        while (!pattern.empty() && pattern.back() == ' ')
            pattern.pop_back();
        if (pattern.empty())
            continue;
        const std::string rest = pattern.substr(1);
        const bool plain = pattern.front() == '*' && std::none_of(rest.begin(), rest.end(), [](char c) {
            return c == '*' || c == '?' || c == '[' || c == '\\' || static_cast<unsigned char>(c) >= 0x80;
        });
        patterns_.push_back({pattern, plain ? base::ascii::toLower(rest) : std::string(), plain});
    }
    if (patterns_.empty())
        patterns_.push_back({"*", {}, true});
}

bool NameMask::matches(const char* name) const
{
    const size_t length = std::strlen(name);
    for (const Pattern& p : patterns_) {
        if (!p.suffixOnly) {
            if (fnmatch(p.pattern.c_str(), name, FNM_CASEFOLD) == 0)
                return true;
            continue;
        }
        if (length < p.suffix.size())
            continue;
        const char* tail = name + length - p.suffix.size();
        if (std::equal(p.suffix.begin(), p.suffix.end(), tail, [](char s, char c) { return s == base::ascii::toLower(c); }))
            return true;
    }
    return false;
}

int enterFolder(const std::string& folder, EntryKind kind, const NameMask* mask, std::vector<std::string>& names)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    std::vector<std::string> found;
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        if (entry->d_name[0] == '.' || (mask && !mask->matches(entry->d_name)))
            continue;
        if (entryIs(fd, *entry, kind))
            found.emplace_back(entry->d_name);
    }
    if (!error && fchdir(fd) != 0)
        error = errno;
    closedir(dir);
    if (error)
        return error;
    folderOfDrive()[driveOf(folder)] = folder;
    names = std::move(found);
    return 0;
}

} // namespace volumes
