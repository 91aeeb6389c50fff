#include "platform/fs/kernel.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kernel {

bool Status::targetExists() const { return error == EEXIST; }

std::string Status::text() const
{
    if (error == 0)
        return {};
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

Status Status::fromErrno() { return {errno != 0 ? errno : EIO}; }

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    // Closes and reports the close's own failure: on some file systems the
    // last write error only shows here.
    int close()
    {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int fd_;
};

std::string parentOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A temporary file in TARGET's folder, so that putting it in place is a
// rename within one file system. The name is hidden and unique to us.
int openTempBeside(const std::string& target, mode_t mode, std::string& tempPath)
{
    static std::atomic<unsigned> counter{0};
    const std::string dir = parentOf(target);
    // Keep the name well inside NAME_MAX whatever the target is called.
    const std::string base = nameOf(target).substr(0, 120);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%d.%u.tmp", static_cast<int>(getpid()),
                      counter.fetch_add(1) * 2654435761u ^ static_cast<unsigned>(attempt));
        tempPath = (dir == "/" ? "/" : dir + "/") + "." + base + suffix;
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

int writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

int copyData(int in, int out)
{
    // The kernel copies (or clones) in place where it can; plain reads otherwise.
    bool kernelCopy = true;
    while (kernelCopy) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0)
            return 0;
        if (n > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EBADF
            && errno != EPERM)
            return errno;
        kernelCopy = false;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (const int e = writeAll(out, buffer.data(), static_cast<size_t>(n)))
            return e;
    }
}

void syncFolder(const std::string& dir)
{
    Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get()); // some file systems cannot; the data itself is synced already
}

// Gives TEMP the name TARGET unless TARGET exists, in one step where the file
// system allows it.
int placeWithoutReplacing(const std::string& temp, const std::string& target)
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
    Fd claim(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!claim.valid())
        return errno;
    claim.reset();
    if (::rename(temp.c_str(), target.c_str()) == 0)
        return 0;
    const int e = errno;
    ::unlink(target.c_str());
    return e;
}

// Writes BYTES (or the rest of SOURCE) into a new temporary file beside
// TARGET, synced to disk. On failure nothing is left behind.
int writeTemp(const std::string& target, mode_t mode, const std::string* bytes, int source,
              std::string& tempPath, const struct stat* keep = nullptr,
              const struct timespec* times = nullptr)
{
    Fd out(openTempBeside(target, mode, tempPath));
    if (!out.valid())
        return errno;
    int e = bytes ? writeAll(out.get(), bytes->data(), bytes->size()) : copyData(source, out.get());
    if (!e && keep) {
        if (keep->st_uid != geteuid() || keep->st_gid != getegid())
            (void)::fchown(out.get(), keep->st_uid, keep->st_gid); // only root may; others keep theirs
        if (::fchmod(out.get(), keep->st_mode & 07777) != 0)
            e = errno;
    }
    if (!e && times)
        ::futimens(out.get(), times);
    if (!e && ::fsync(out.get()) != 0)
        e = errno;
    if (const int closeError = out.close(); !e)
        e = closeError;
    if (e)
        ::unlink(tempPath.c_str());
    return e;
}

bool exists(const std::string& path, int& error)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        error = EEXIST;
        return true;
    }
    error = errno == ENOENT ? 0 : errno;
    return false;
}

// Follows symbolic links by hand so that a dangling one still names the file
// it points to: an update then creates that file instead of replacing the link.
std::string followLinks(std::string path)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0 || static_cast<size_t>(n) >= buffer.size())
            return path;
        std::string target(buffer.data(), static_cast<size_t>(n));
        path = target.front() == '/' ? target : parentOf(path) + "/" + target;
    }
    return path;
}

Status moveAcrossFileSystems(const std::string& from, const std::string& to)
{
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0)
        return Status::fromErrno();
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> buffer(static_cast<size_t>(st.st_size) + 1);
        const ssize_t n = ::readlink(from.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return Status::fromErrno();
        if (::symlink(std::string(buffer.data(), static_cast<size_t>(n)).c_str(), to.c_str()) != 0)
            return Status::fromErrno();
    } else if (S_ISDIR(st.st_mode)) {
        return {EXDEV};
    } else if (const Status copied = copyFile(from, to); !copied.ok()) {
        return copied;
    }
    if (::unlink(from.c_str()) != 0) {
        // The source stays; take the copy back so that the move did not happen at all.
        const Status failed = Status::fromErrno();
        ::unlink(to.c_str());
        syncFolder(parentOf(to));
        return failed;
    }
    syncFolder(parentOf(from));
    return {};
}

} // namespace

Status copyFile(const std::string& from, const std::string& to)
{
    // Non-blocking so that a FIFO named by mistake cannot hang the open.
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!in.valid())
        return Status::fromErrno();
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return Status::fromErrno();
    if (S_ISDIR(st.st_mode))
        return {EISDIR};
    if (!S_ISREG(st.st_mode))
        return {EINVAL};
    if (int e; exists(to, e) || e)
        return {e};

    // Like the Windows copy, the copy keeps the source's time stamps.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    std::string temp;
    if (const int e = writeTemp(to, st.st_mode & 0777, nullptr, in.get(), temp, nullptr, times))
        return {e};
    if (const int e = placeWithoutReplacing(temp, to)) {
        ::unlink(temp.c_str());
        return {e};
    }
    syncFolder(parentOf(to));
    return {};
}

Status moveFile(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        syncFolder(parentOf(to));
        if (parentOf(to) != parentOf(from))
            syncFolder(parentOf(from));
        return {};
    }
    int e = errno;
    if (e == EINVAL || e == ENOSYS || e == EOPNOTSUPP) {
        // A file system without the no-replace rename: check, then rename.
        if (int existing; exists(to, existing) || existing)
            return {existing};
        if (::rename(from.c_str(), to.c_str()) == 0)
            return {};
        e = errno;
    }
    if (e != EXDEV)
        return {e};
    return moveAcrossFileSystems(from, to);
}

bool readAll(int fd, std::string& out)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool readWholeFile(const std::string& path, std::string& out)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.clear();
    const bool ok = readAll(fd, out);
    const int e = errno;
    ::close(fd);
    errno = e;
    return ok;
}

Status deleteFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        return Status::fromErrno();
    return {};
}

Status writeFileAtomically(const std::string& path, const std::string& bytes)
{
    const std::string target = followLinks(path);
    struct stat st;
    const bool existed = ::stat(target.c_str(), &st) == 0;
    if (!existed && errno != ENOENT)
        return Status::fromErrno();
    if (existed && S_ISDIR(st.st_mode))
        return {EISDIR};

    std::string temp;
    if (const int e = writeTemp(target, existed ? 0600 : 0666, &bytes, -1, temp, existed ? &st : nullptr))
        return {e};
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const Status failed = Status::fromErrno();
        ::unlink(temp.c_str());
        return failed;
    }
    syncFolder(parentOf(target));
    return {};
}

Status createFile(const std::string& path, const std::string& bytes)
{
    if (int e; exists(path, e) || e)
        return {e};
    std::string temp;
    if (const int e = writeTemp(path, 0666, &bytes, -1, temp))
        return {e};
    if (const int e = placeWithoutReplacing(temp, path)) {
        ::unlink(temp.c_str());
        return {e};
    }
    syncFolder(parentOf(path));
    return {};
}

} // namespace kernel
