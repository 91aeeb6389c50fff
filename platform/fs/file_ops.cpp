#include "platform/fs/file_ops.h"

#include "platform/fs/temp_file.h"

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
    void release() { fd_ = -1; }
    void reset()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

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

// Gives OUT, the replacement of a file like KEEP, KEEP's owner and group.
// Only root may give a file away: anyone else's replacement becomes theirs
// but keeps the group, so that whoever shared the file through its group
// still may. A group that cannot be kept either would shut them out, and the
// file is not replaced, unless its group may do no more than anyone.
int keepOwner(int out, const struct stat& keep)
{
    struct stat now;
    if (::fstat(out, &now) != 0)
        return errno;
    if (now.st_uid == keep.st_uid && now.st_gid == keep.st_gid)
        return 0;
    if (::fchown(out, keep.st_uid, keep.st_gid) == 0)
        return 0;
    // EINVAL: an owner this user namespace cannot name, as good as forbidden.
    if (errno != EPERM && errno != EINVAL)
        return errno;
    if (now.st_gid == keep.st_gid || ::fchown(out, static_cast<uid_t>(-1), keep.st_gid) == 0)
        return 0;
    const int e = errno == EINVAL ? EPERM : errno;
    const bool groupMatters = ((keep.st_mode >> 3) & 7) != (keep.st_mode & 7);
    return groupMatters ? e : 0;
}

// Writes BYTES (or the rest of SOURCE) into TEMP, a new file beside TARGET,
// synced to disk, with KEEP's owner and mode and TIMES when given.
int writeTemp(TempFile& temp, const std::string& target, mode_t mode, const std::string* bytes, int source,
              const struct stat* keep = nullptr, const struct timespec* times = nullptr)
{
    if (const int e = temp.open(target, mode))
        return e;
    const int out = temp.fd();
    int e = bytes ? writeAll(out, bytes->data(), bytes->size()) : copyData(source, out);
    if (!e && keep)
        e = keepOwner(out, *keep);
    if (!e && keep && ::fchmod(out, keep->st_mode & 07777) != 0)
        e = errno;
    if (!e && times)
        ::futimens(out, times);
    return e ? e : temp.finish();
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
        path = target.front() == '/' ? target : folderOf(path) + "/" + target;
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
        syncFolder(folderOf(to));
        return failed;
    }
    syncFolder(folderOf(from));
    return {};
}

} // namespace

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

Status copyFile(const std::string& from, const std::string& to)
{
    struct stat st;
    Fd in(openRegularFile(from, &st));
    if (!in.valid())
        return Status::fromErrno();
    if (int e; exists(to, e) || e)
        return {e};

    // Like the Windows copy, the copy keeps the source's time stamps.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    TempFile temp;
    if (const int e = writeTemp(temp, to, st.st_mode & 0777, nullptr, in.get(), nullptr, times))
        return {e};
    if (const int e = temp.place(false))
        return {e};
    syncFolder(folderOf(to));
    return {};
}

Status moveFile(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        syncFolder(folderOf(to));
        if (folderOf(to) != folderOf(from))
            syncFolder(folderOf(from));
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

int openRegularFile(const std::string& path, struct stat* status)
{
    // Non-blocking, so that the open itself cannot wait for a FIFO's writer.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return -1;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    if (status)
        *status = st;
    const int result = fd.get();
    fd.release();
    return result;
}

bool readAll(int fd, std::string& out, uint64_t maxBytes)
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
        if (out.size() + static_cast<uint64_t>(n) > maxBytes) {
            errno = EFBIG; // grew while we read
            return false;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool readWholeFile(const std::string& path, std::string& out, uint64_t maxBytes)
{
    struct stat st;
    Fd fd(openRegularFile(path, &st));
    if (!fd.valid())
        return false;
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        errno = EFBIG;
        return false;
    }
    out.clear();
    out.reserve(static_cast<size_t>(st.st_size));
    return readAll(fd.get(), out, maxBytes);
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
    if (existed && !S_ISREG(st.st_mode))
        return {EINVAL}; // a FIFO or a device is never swapped for a file
    // Replacing needs only the folder's permission; the file's own says
    // whether its owner wants it written. One without any write bit stays
    // as it is even for root, as a read-only store does.
    if (existed && ((st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0))
        return {EACCES};

    TempFile temp;
    if (const int e = writeTemp(temp, target, existed ? 0600 : 0666, &bytes, -1, existed ? &st : nullptr))
        return {e};
    if (const int e = temp.place(true))
        return {e};
    syncFolder(folderOf(target));
    return {};
}

Status createFile(const std::string& path, const std::string& bytes)
{
    if (int e; exists(path, e) || e)
        return {e};
    TempFile temp;
    if (const int e = writeTemp(temp, path, 0666, &bytes, -1))
        return {e};
    if (const int e = temp.place(false))
        return {e};
    syncFolder(folderOf(path));
    return {};
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace kernel
