#include "platform/registry/registry.h"

#include "platform/registry/store.h"
#include "platform/registry/store_file.h"

#include <cstring>
#include <mutex>
#include <new>
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

std::mutex gMutex; // guards the handles and the store file
std::unordered_map<HKEY, OpenKey> gHandles;
HKEY gNextHandle = 0x1000;

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

// HKEY_DYN_DATA exists but is read-only and empty.
LONG checkDynData(const OpenKey& target, std::size_t known, bool create)
{
    if (target.path.size() > known)
        return create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    return (target.access & kWriteRights) != 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// Creates the keys of TARGET's path past the KNOWN first ones that are
// missing, telling in CREATED whether there were any.
LONG createPath(const OpenKey& target, std::size_t known, bool& created)
{
    return store_file::modify([&](Store& st) -> LONG {
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
}

// Opens TARGET in the store, creating it when CREATE; its first KNOWN names
// are the key it is opened from, which gave PARENT_ACCESS.
LONG openStored(const OpenKey& target, std::size_t known, REGSAM parentAccess, bool create, DWORD* disposition)
{
    LONG code = ERROR_SUCCESS;
    Store* s = store_file::load(code);
    if (!s)
        return code;
    if (!findKey(*s, target.root, target.path, known))
        return ERROR_KEY_DELETED;
    const bool exists = findKey(*s, target.root, target.path, target.path.size()) != nullptr;
    if (!exists && !create)
        return ERROR_FILE_NOT_FOUND;
    const bool wantsWrite = (target.access & kWriteRights) != 0;
    if ((wantsWrite || !exists) && !store_file::writable(storePath()))
        return ERROR_ACCESS_DENIED;
    bool created = false;
    if (!exists) {
        if (!(parentAccess & KEY_CREATE_SUB_KEY))
            return ERROR_ACCESS_DENIED;
        if ((code = createPath(target, known, created)) != ERROR_SUCCESS)
            return code;
    }
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
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

    if (target.root == kDynData) {
        if ((code = checkDynData(target, known, create)) != ERROR_SUCCESS)
            return code;
        if (disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
    } else if ((code = openStored(target, known, parentAccess, create, disposition)) != ERROR_SUCCESS) {
        return code;
    }
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
        Store* s = store_file::load(code);
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
        return store_file::modify([&](Store& s) -> LONG {
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
