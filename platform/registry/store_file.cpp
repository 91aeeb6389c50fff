#include "platform/registry/store_file.h"

#include "platform/base/xdg.h"
#include "platform/fs/file_ops.h"
#include "platform/fs/folders.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace registry::store_file {

using store::Key;
using store::Store;

namespace {

struct Signature {
    std::string path;
    bool present = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime {};

    bool operator==(const Signature& o) const
    {
        return path == o.path && present == o.present && dev == o.dev && ino == o.ino && size == o.size
            && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

bool gCacheValid = false;
Signature gCacheSignature;
Store gCache;

// Serialises writers across processes; the store itself is replaced by
// rename, so the lock lives in a file of its own.
class StoreLock {
public:
    explicit StoreLock(const std::string& storeFile)
    {
        if (!kernel::makeFolders(kernel::folderOf(storeFile)))
            return;
        fd_ = ::open((storeFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0)
            return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~StoreLock()
    {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace

// A store file without any write permission is read-only, even for root; so
// is one whose folder we may not write, as the atomic replace needs it.
bool writable(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) == 0) {
        if ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)
            return false;
    }
    std::string folder = kernel::folderOf(path);
    while (::stat(folder.c_str(), &st) != 0) {
        const std::string up = kernel::folderOf(folder);
        if (up == folder)
            return false;
        folder = up;
    }
    return S_ISDIR(st.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

namespace {

// No file at PATH is an empty store.
Store* absentStore(const std::string& path)
{
    Signature sig;
    sig.path = path;
    if (!(gCacheValid && gCacheSignature == sig)) {
        gCache = Store {};
        gCacheSignature = sig;
        gCacheValid = true;
    }
    return &gCache;
}

// Reads FD (SIZE bytes by its status) to its end, closes it and parses what
// it held; nullopt with CODE set when that fails.
std::optional<Store> readAndClose(int fd, std::size_t size, LONG& code)
{
    std::string text;
    bool ok = true;
    try {
        text.reserve(size);
        ok = kernel::readAll(fd, text, kernel::kMaxSettingsFileBytes);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        code = ERROR_NOT_ENOUGH_MEMORY;
        return std::nullopt;
    }
    ::close(fd);
    auto parsed = ok ? store::parse(text) : std::nullopt;
    if (!parsed)
        code = ERROR_BADDB;
    return parsed;
}

} // namespace

// The store as it is on disk now; reuses the last parse while the file is
// the same one.
Store* load(LONG& code)
{
    const std::string path = storePath();
    struct stat st { };
    const int fd = kernel::openRegularFile(path, &st);
    if (fd < 0) {
        if (errno != ENOENT) {
            // A store we may not read, or whose folder is not a folder, is out of
            // reach rather than damaged; a FIFO or a device in its place is damage,
            // and is never waited on.
            code = (errno == EACCES || errno == EPERM || errno == ENOTDIR) ? ERROR_ACCESS_DENIED : ERROR_BADDB;
            return nullptr;
        }
        return absentStore(path);
    }
    if (static_cast<uint64_t>(st.st_size) > kernel::kMaxSettingsFileBytes) {
        ::close(fd);
        code = ERROR_BADDB;
        return nullptr;
    }
    const Signature sig {path, true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    if (gCacheValid && gCacheSignature == sig) {
        ::close(fd);
        return &gCache;
    }
    gCacheValid = false;
    auto parsed = readAndClose(fd, static_cast<std::size_t>(st.st_size), code);
    if (!parsed)
        return nullptr;
    gCache = std::move(*parsed);
    gCacheSignature = sig;
    gCacheValid = true;
    return &gCache;
}

// Applies CHANGE to the current store and writes it back, all under the lock,
// so that a change made meanwhile by another process is kept. CHANGE must
// leave the store untouched when it fails.
LONG modify(const std::function<LONG(Store&)>& change)
{
    const std::string path = storePath();
    if (!writable(path))
        return ERROR_ACCESS_DENIED;
    StoreLock lock(path);
    if (!lock.held())
        return ERROR_ACCESS_DENIED;
    LONG code = ERROR_SUCCESS;
    Store* s = load(code);
    if (!s)
        return code;
    try {
        code = change(*s);
        if (code != ERROR_SUCCESS)
            return code;
        gCacheValid = false; // the cache no longer matches the file until the write is through
        const std::string text = store::serialize(*s);
        // A store past the read limit could never be read back: the change
        // is refused and the file keeps what it held, as a full hive does.
        if (text.size() > kernel::kMaxSettingsFileBytes)
            return ERROR_NO_SYSTEM_RESOURCES;
        if (!kernel::writeFileMakingFolders(path, text))
            return ERROR_ACCESS_DENIED;
    } catch (const std::bad_alloc&) {
        gCacheValid = false;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    struct stat st { };
    if (::stat(path.c_str(), &st) == 0) {
        gCacheSignature = Signature {path, true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
        gCacheValid = true;
    }
    return ERROR_SUCCESS;
}

} // namespace registry::store_file

namespace registry {

std::string storePath()
{
    if (const char* own = std::getenv("QUORVANA_REGISTRY"); own && *own)
        return own;
    return base::xdg::configHome() + "/quorvana/registry.reg";
}

} // namespace registry
