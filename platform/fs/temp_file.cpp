#include "platform/fs/temp_file.h"

#include "platform/fs/file_ops.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <string_view>
#include <unistd.h>

namespace kernel {

namespace {

// ".NAME.": the start of every temporary name of a target. The name is cut
// well inside NAME_MAX whatever the target is called.
std::string hiddenPrefix(const std::string& target)
{
    // Appended in place: GCC 12 takes "." + a temporary for an overlapping
    // copy once the hardening flags inline it (-Wrestrict).
    const auto slash = target.find_last_of('/');
    std::string prefix = ".";
    prefix.append(target, slash == std::string::npos ? 0 : slash + 1, 120);
    prefix += '.';
    return prefix;
}

std::string inFolder(const std::string& folder, const std::string& name)
{
    return (folder == "/" ? "/" : folder + "/") + name;
}

// The process id in "PID.N.tmp", or 0 when NAME is not of that shape.
pid_t writerOf(const char* name)
{
    char* end = nullptr;
    const long pid = std::strtol(name, &end, 10);
    if (end == name || *end != '.' || pid <= 0)
        return 0;
    const char* counter = end + 1;
    std::strtoul(counter, &end, 10);
    if (end == counter || std::string(end) != ".tmp")
        return 0;
    return static_cast<pid_t>(pid);
}

bool alive(pid_t pid)
{
    return pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH;
}

// Links need the descriptor's name in /proc; without it, files get names.
bool canLinkUnnamed()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

int linkUnnamed(int fd, const std::string& to)
{
    char from[64];
    std::snprintf(from, sizeof from, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, from, AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Gives TEMP the name TARGET unless TARGET exists, in one step where the file
// system allows it.
int renameWithoutReplacing(const std::string& temp, const std::string& target)
{
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    if (::link(temp.c_str(), target.c_str()) == 0) {
        ::unlink(temp.c_str());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    // No hard links either (FAT): claim the name exclusively, then replace our own claim.
    const int claim = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (claim < 0)
        return errno;
    ::close(claim);
    if (::rename(temp.c_str(), target.c_str()) == 0)
        return 0;
    const int e = errno;
    ::unlink(target.c_str());
    return e;
}

} // namespace

void removeStaleTemps(const std::string& target)
{
    const std::string folder = folderOf(target);
    const std::string prefix = hiddenPrefix(target);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::string_view(entry->d_name).substr(0, prefix.size()) != prefix)
            continue;
        const pid_t writer = writerOf(entry->d_name + prefix.size());
        if (writer != 0 && !alive(writer))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

TempFile::~TempFile() { discard(); }

void TempFile::discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!path_.empty())
        ::unlink(path_.c_str());
    path_.clear();
}

int TempFile::open(const std::string& target, mode_t mode)
{
    discard();
    target_ = target;
    mode_ = mode;
    removeStaleTemps(target);
    if (canLinkUnnamed()) {
        fd_ = ::open(folderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            anonymous_ = true;
            return 0;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOSYS)
            return errno;
    }
    anonymous_ = false;
    return nameIt();
}

int TempFile::nameIt()
{
    static std::atomic<unsigned> counter{0};
    const std::string folder = folderOf(target_);
    const std::string prefix = hiddenPrefix(target_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, "%d.%u.tmp", static_cast<int>(::getpid()), counter.fetch_add(1));
        const std::string path = inFolder(folder, prefix + suffix);
        if (anonymous_) {
            const int e = linkUnnamed(fd_, path);
            if (e == 0)
                path_ = path;
            if (e != EEXIST)
                return e;
            continue;
        }
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode_);
        if (fd_ >= 0) {
            path_ = path;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int TempFile::finish()
{
    if (::fsync(fd_) != 0)
        return errno;
    if (anonymous_)
        return 0; // the descriptor names the file until it is placed
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
}

int TempFile::place(bool replace)
{
    if (anonymous_ && !replace) {
        // A link never replaces: the one step that also refuses an existing target.
        const int e = linkUnnamed(fd_, target_);
        if (e == 0)
            discard();
        return e;
    }
    if (anonymous_) {
        // Only a name can be renamed over the target; the name lives a moment.
        if (const int e = nameIt())
            return e;
    }
    const int e = replace ? (::rename(path_.c_str(), target_.c_str()) == 0 ? 0 : errno)
                          : renameWithoutReplacing(path_, target_);
    if (e == 0)
        path_.clear();
    discard();
    return e;
}

} // namespace kernel
