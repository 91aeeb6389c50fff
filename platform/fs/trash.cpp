#include "platform/fs/trash.h"

#include "platform/base/xdg.h"
#include "platform/fs/folders.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kernel {

namespace {

// A trash that cannot take the file (none on the volume, or another file
// system after all): the next one is tried, then the file is deleted.
constexpr int kUnusable = -1;

constexpr const char* kInfoSuffix = ".trashinfo";
constexpr size_t kNameMax = NAME_MAX;
constexpr unsigned kMaxNumber = 100000;

struct Trash {
    std::string folder;
    std::string topdir; // empty for the user's own trash: its Path= is absolute
};

// Where PATH really is: the folder with its links resolved, and its own name.
struct Location {
    std::string folder;
    std::string name;
    std::string path() const { return folder == "/" ? "/" + name : folder + "/" + name; }
};

bool locate(const std::string& path, Location& where)
{
    const size_t slash = path.find_last_of('/');
    where.name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (where.name.empty() || where.name == "." || where.name == "..") {
        errno = EINVAL;
        return false;
    }
    char* real = ::realpath(folderOf(path).c_str(), nullptr);
    if (!real)
        return false;
    where.folder = real;
    std::free(real);
    return true;
}

// The device of PATH, or of its nearest folder that exists.
bool deviceOf(std::string path, dev_t& device)
{
    for (;;) {
        struct stat st;
        if (::stat(path.c_str(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        if (path == "/" || path == ".")
            return false;
        path = folderOf(path);
    }
}

// The top folder of the volume that holds FOLDER, a real path.
std::string topdirOf(const std::string& folder, dev_t device)
{
    std::string top = folder;
    while (top != "/") {
        const std::string parent = folderOf(top);
        struct stat st;
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device)
            break;
        top = parent;
    }
    return top;
}

std::string join(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// A folder of the user's own that nobody else can have slipped in: made
// where missing, never reached through a link.
bool ownFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

bool hasFolders(const Trash& trash)
{
    return ownFolder(trash.folder + "/files") && ownFolder(trash.folder + "/info");
}

// The volume's trashes in the order they are tried. The shared .Trash is
// the administrator's: only a real folder with the sticky bit keeps one
// user's files from the others.
std::vector<Trash> volumeTrashes(const std::string& topdir)
{
    std::vector<Trash> found;
    const std::string uid = std::to_string(::getuid());
    const std::string shared = join(topdir, ".Trash");
    struct stat st;
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))
        found.push_back({shared + "/" + uid, topdir});
    found.push_back({join(topdir, ".Trash-" + uid), topdir});
    return found;
}

// Written as URIs write paths: the bytes of any name survive.
std::string percentEncoded(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
            || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string infoText(const std::string& path)
{
    char date[32];
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + percentEncoded(path) + "\nDeletionDate=" + date + "\n";
}

// NAME, or NAME numbered N before its extension ("song.2.mid"), short enough
// that its info file's name is still a name.
std::string trashName(const std::string& name, unsigned n)
{
    // A long tail after the last dot is no extension: it would leave no room.
    const size_t dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > 0 && name.size() - dot <= 32;
    std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    std::string number;
    if (n > 1)
        number.append(".").append(std::to_string(n));
    const size_t room = kNameMax - std::string(kInfoSuffix).size() - extension.size() - number.size();
    if (stem.size() > room) {
        stem.resize(room);
        // Not in the middle of a UTF-8 character.
        while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80)
            stem.pop_back();
        if (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0x80))
            stem.pop_back();
    }
    return stem + number + extension;
}

int writeInfo(int fd, const std::string& text)
{
    if (const int e = writeAll(fd, text.data(), text.size()))
        return e;
    return ::fsync(fd) == 0 ? 0 : errno;
}

// Renames FROM to TO unless TO exists.
int renameNew(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Moves WHERE into TRASH: 0, kUnusable, or why the file cannot be moved.
int moveInto(const Trash& trash, const Location& where)
{
    const bool own = trash.topdir.empty();
    if (own ? !makeFolders(trash.folder) : !ownFolder(trash.folder))
        return kUnusable;
    if (!hasFolders(trash))
        return kUnusable;
    const std::string source = where.path();
    const std::string restore = own ? source : source.substr(trash.topdir == "/" ? 1 : trash.topdir.size() + 1);
    const std::string info = infoText(restore);
    for (unsigned n = 1; n <= kMaxNumber; ++n) {
        const std::string name = trashName(where.name, n);
        const std::string infoPath = trash.folder + "/info/" + name + kInfoSuffix;
        // The info file claims the name: made first and only where there was none.
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return kUnusable;
        }
        const int written = writeInfo(fd, info);
        ::close(fd);
        if (written != 0) {
            ::unlink(infoPath.c_str());
            return kUnusable;
        }
        const int moved = renameNew(source, trash.folder + "/files/" + name);
        if (moved == 0)
            return 0;
        ::unlink(infoPath.c_str());
        if (moved == EEXIST)
            continue; // a file without its info holds the name
        return moved == EXDEV ? kUnusable : moved;
    }
    return kUnusable;
}

} // namespace

Status trashFile(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return Status::fromErrno();
    Location where;
    if (!locate(path, where))
        return Status::fromErrno();

    const std::string home = base::xdg::dataHome() + "/Trash";
    dev_t homeDevice {};
    std::vector<Trash> trashes;
    if (deviceOf(home, homeDevice) && homeDevice == st.st_dev)
        trashes.push_back({home, {}});
    else
        trashes = volumeTrashes(topdirOf(where.folder, st.st_dev));
    for (const Trash& trash : trashes) {
        const int e = moveInto(trash, where);
        if (e == 0)
            return {};
        if (e != kUnusable)
            return {e};
    }
    return deleteFile(path);
}

} // namespace kernel
