#include "platform/registry/registry.h"

#include "platform/base/xdg.h"
#include "platform/fs/file_ops.h"

#include "platform/fs/folders.h"
#include "platform/registry/store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace registry {

namespace {

using store::Key;
using store::Store;

constexpr std::size_t kDynData = store::kRootCount; // root index of HKEY_DYN_DATA
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

struct OpenKey {
    std::size_t root = 0;
    std::vector<std::string> path; // names as stored
    REGSAM access = 0;
};

// --- the store file ------------------------------------------------------------

struct Signature {
    std::string path;
    bool present = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};

    bool operator==(const Signature& o) const
    {
        return path == o.path && present == o.present && dev == o.dev && ino == o.ino && size == o.size &&
               mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

std::mutex gMutex; // guards everything below
std::unordered_map<HKEY, OpenKey> gHandles;
HKEY gNextHandle = 0x1000;
bool gCacheValid = false;
Signature gCacheSignature;
Store gCache;

// A store file without any write permission is read-only, even for root; so
// is one whose folder we may not write, as the atomic replace needs it.
bool storeWritable(const std::string& path)
{
    struct stat st {};
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

// The store as it is on disk now; reuses the last parse while the file is
// the same one.
Store* loadStore(LONG& code)
{
    Signature sig;
    sig.path = storePath();
    struct stat st {};
    const int fd = kernel::openRegularFile(sig.path, &st);
    if (fd < 0) {
        if (errno != ENOENT) {
            // A store we may not read, or whose folder is not a folder, is out of
            // reach rather than damaged; a FIFO or a device in its place is damage,
            // and is never waited on.
            code = (errno == EACCES || errno == EPERM || errno == ENOTDIR) ? ERROR_ACCESS_DENIED : ERROR_BADDB;
            return nullptr;
        }
        if (!(gCacheValid && gCacheSignature == sig)) {
            gCache = Store{};
            gCacheSignature = sig;
            gCacheValid = true;
        }
        return &gCache;
    }
    if (static_cast<uint64_t>(st.st_size) > kernel::kMaxSettingsFileBytes) {
        ::close(fd);
        code = ERROR_BADDB;
        return nullptr;
    }
    sig.present = true;
    sig.dev = st.st_dev;
    sig.ino = st.st_ino;
    sig.size = st.st_size;
    sig.mtime = st.st_mtim;
    if (gCacheValid && gCacheSignature == sig) {
        ::close(fd);
        return &gCache;
    }
    gCacheValid = false;
    std::string text;
    bool ok = true;
    try {
        text.reserve(static_cast<std::size_t>(st.st_size));
        ok = kernel::readAll(fd, text, kernel::kMaxSettingsFileBytes);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        code = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    ::close(fd);
    auto parsed = ok ? store::parse(text) : std::nullopt;
    if (!parsed) {
        code = ERROR_BADDB;
        return nullptr;
    }
    gCache = std::move(*parsed);
    gCacheSignature = sig;
    gCacheValid = true;
    return &gCache;
}

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

// Applies CHANGE to the current store and writes it back, all under the lock,
// so that a change made meanwhile by another process is kept. CHANGE must
// leave the store untouched when it fails.
LONG modifyStore(const std::function<LONG(Store&)>& change)
{
    const std::string path = storePath();
    if (!storeWritable(path))
        return ERROR_ACCESS_DENIED;
    StoreLock lock(path);
    if (!lock.held())
        return ERROR_ACCESS_DENIED;
    LONG code = ERROR_SUCCESS;
    Store* s = loadStore(code);
    if (!s)
        return code;
    try {
        code = change(*s);
        if (code != ERROR_SUCCESS)
            return code;
        gCacheValid = false; // the cache no longer matches the file until the write is through
        const std::string text = store::serialize(*s);
        if (!kernel::writeFileMakingFolders(path, text))
            return ERROR_ACCESS_DENIED;
    } catch (const std::bad_alloc&) {
        gCacheValid = false;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        gCacheSignature = Signature{path, true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
        gCacheValid = true;
    }
    return ERROR_SUCCESS;
}

// --- handles and paths ---------------------------------------------------------

bool predefinedRoot(HKEY key, std::size_t& root)
{
    switch (key) {
    case HKEY_CLASSES_ROOT: root = 0; return true;
    case HKEY_CURRENT_USER: root = 1; return true;
    case HKEY_LOCAL_MACHINE: root = 2; return true;
    case HKEY_USERS: root = 3; return true;
    case HKEY_CURRENT_CONFIG: root = 4; return true;
    case HKEY_DYN_DATA: root = kDynData; return true;
    default: return false;
    }
}

LONG resolveHandle(HKEY key, OpenKey& out)
{
    std::size_t root = 0;
    if (predefinedRoot(key, root)) {
        out = OpenKey{root, {}, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    const auto it = gHandles.find(key);
    if (it == gHandles.end())
        return ERROR_INVALID_HANDLE;
    out = it->second;
    return ERROR_SUCCESS;
}

// Splits SUB_KEY into names, appending them to PATH.
LONG appendPath(const char* subKey, std::vector<std::string>& path)
{
    if (!subKey)
        return ERROR_SUCCESS;
    if (subKey[0] == '\\')
        return ERROR_BAD_PATHNAME;
    const char* p = subKey;
    while (*p) {
        const char* end = std::strchr(p, '\\');
        const std::size_t len = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
        if (len > kMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
        if (len > 0) {
            std::string name(p, len);
            // The store is line-based text; a line break would split a key name.
            if (name.find_first_of("\r\n") != std::string::npos || path.size() >= kMaxKeyDepth)
                return ERROR_INVALID_PARAMETER;
            path.push_back(std::move(name));
        }
        p += len;
        if (*p == '\\')
            ++p;
    }
    return ERROR_SUCCESS;
}

REGSAM effectiveAccess(REGSAM desired)
{
    REGSAM access = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED | KEY_WOW64_64KEY |
                                KEY_WOW64_32KEY);
    if (desired & GENERIC_READ)
        access |= KEY_READ;
    if (desired & GENERIC_WRITE)
        access |= KEY_WRITE;
    if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED))
        access |= KEY_ALL_ACCESS;
    return access;
}

Key* findKey(Store& s, std::size_t root, const std::vector<std::string>& path, std::size_t count)
{
    Key* key = &s.roots[root];
    for (std::size_t i = 0; i < count && key; ++i)
        key = key->child(path[i]);
    return key;
}

HKEY newHandle(OpenKey key)
{
    const HKEY h = gNextHandle;
    gNextHandle += 4;
    gHandles.emplace(h, std::move(key));
    return h;
}

LONG openOrCreate(HKEY key, const char* subKey, REGSAM desired, bool create, HKEY* result, DWORD* disposition)
{
    OpenKey target;
    LONG code = resolveHandle(key, target);
    if (code != ERROR_SUCCESS)
        return code;
    const REGSAM parentAccess = target.access;
    const std::size_t known = target.path.size();
    if ((code = appendPath(subKey, target.path)) != ERROR_SUCCESS)
        return code;
    target.access = effectiveAccess(desired);
    const bool wantsWrite = (target.access & kWriteRights) != 0;

    if (target.root == kDynData) {
        if (target.path.size() > known)
            return create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        if (wantsWrite)
            return ERROR_ACCESS_DENIED;
    } else {
        Store* s = loadStore(code);
        if (!s)
            return code;
        if (!findKey(*s, target.root, target.path, known))
            return ERROR_KEY_DELETED;
        const bool exists = findKey(*s, target.root, target.path, target.path.size()) != nullptr;
        if (!exists && !create)
            return ERROR_FILE_NOT_FOUND;
        if ((wantsWrite || !exists) && !storeWritable(storePath()))
            return ERROR_ACCESS_DENIED;
        if (!exists) {
            if (!(parentAccess & KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            bool created = false;
            code = modifyStore([&](Store& st) -> LONG {
                Key* k = findKey(st, target.root, target.path, known);
                if (!k)
                    return ERROR_KEY_DELETED;
                for (std::size_t i = known; i < target.path.size(); ++i) {
                    Key* next = k->child(target.path[i]);
                    if (!next) {
                        next = &k->childOrCreate(target.path[i]);
                        created = true;
                    }
                    k = next;
                }
                return ERROR_SUCCESS;
            });
            if (code != ERROR_SUCCESS)
                return code;
            if (disposition)
                *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        } else if (disposition) {
            *disposition = REG_OPENED_EXISTING_KEY;
        }
    }
    if (disposition && target.root == kDynData)
        *disposition = REG_OPENED_EXISTING_KEY;
    *result = newHandle(std::move(target));
    return ERROR_SUCCESS;
}

template <typename F>
LONG guarded(F&& body)
{
    try {
        std::lock_guard lock(gMutex);
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

} // namespace

std::string storePath()
{
    if (const char* own = std::getenv("QUORVANA_REGISTRY"); own && *own)
        return own;
    return base::xdg::configHome() + "/quorvana/registry.reg";
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD /*options*/, REGSAM desired, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = 0;
    return guarded([&] { return openOrCreate(key, subKey, desired, false, result, nullptr); });
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD /*reserved*/, const char* /*className*/, DWORD /*options*/,
                     REGSAM desired, const void* /*security*/, HKEY* result, DWORD* disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = 0;
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    return guarded([&] { return openOrCreate(key, subKey, desired, true, result, disposition); });
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize)
{
    if (reserved || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    return guarded([&]() -> LONG {
        OpenKey target;
        LONG code = resolveHandle(key, target);
        if (code != ERROR_SUCCESS)
            return code;
        if (!(target.access & KEY_QUERY_VALUE))
            return ERROR_ACCESS_DENIED;
        if (target.root == kDynData)
            return ERROR_FILE_NOT_FOUND;
        Store* s = loadStore(code);
        if (!s)
            return code;
        const Key* k = findKey(*s, target.root, target.path, target.path.size());
        if (!k)
            return ERROR_KEY_DELETED;
        const store::Value* v = k->value(name ? name : "");
        if (!v)
            return ERROR_FILE_NOT_FOUND;
        if (type)
            *type = v->type;
        const auto size = static_cast<DWORD>(v->data.size());
        if (data) {
            if (*dataSize < size) {
                *dataSize = size;
                return ERROR_MORE_DATA;
            }
            std::memcpy(data, v->data.data(), size);
            const bool isString = v->type == REG_SZ || v->type == REG_EXPAND_SZ || v->type == REG_MULTI_SZ;
            if (isString && *dataSize > size)
                data[size] = 0;
        }
        if (dataSize)
            *dataSize = size;
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD /*reserved*/, DWORD type, const BYTE* data, DWORD dataSize)
{
    if (name && std::strlen(name) > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    if (!data && dataSize)
        return ERROR_NOACCESS;
    if (dataSize > kMaxValueSize)
        return ERROR_NOT_ENOUGH_MEMORY;
    return guarded([&]() -> LONG {
        OpenKey target;
        LONG code = resolveHandle(key, target);
        if (code != ERROR_SUCCESS)
            return code;
        if (!(target.access & KEY_SET_VALUE) || target.root == kDynData)
            return ERROR_ACCESS_DENIED;
        store::Value value{name ? name : "", type,
                           data ? std::string(reinterpret_cast<const char*>(data), dataSize) : std::string()};
        return modifyStore([&](Store& s) -> LONG {
            Key* k = findKey(s, target.root, target.path, target.path.size());
            if (!k)
                return ERROR_KEY_DELETED;
            k->setValue(std::move(value));
            return ERROR_SUCCESS;
        });
    });
}

LONG RegCloseKey(HKEY key)
{
    return guarded([&]() -> LONG {
        std::size_t root = 0;
        if (predefinedRoot(key, root))
            return ERROR_SUCCESS;
        return gHandles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
}

} // namespace registry
