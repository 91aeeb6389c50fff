#pragma once
// The registry functions the player uses, with the Windows semantics and
// result codes: a per-user store with six roots, key and value names matched
// without regard to case, typed values kept as raw bytes. The store is one
// REGEDIT4 text file ($QUORVANA_REGISTRY, else $XDG_CONFIG_HOME/quorvana/
// registry.reg); every change replaces it atomically under a lock, so that
// running players never lose each other's writes and a crash leaves the old
// store whole. A store that cannot be parsed is never overwritten: every call
// reports ERROR_BADDB until it is repaired or removed.
//
// All functions are safe to call from any thread.
#include <cstdint>
#include <string>

namespace registry {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;
using REGSAM = std::uint32_t;
using HKEY = std::uintptr_t; // 0 is no key

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
inline constexpr HKEY HKEY_USERS = 0x80000003;
inline constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004; // not provided: ERROR_INVALID_HANDLE
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;
inline constexpr HKEY HKEY_DYN_DATA = 0x80000006; // always empty and read-only

enum : LONG {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_BAD_PATHNAME = 161,
    ERROR_MORE_DATA = 234,
    ERROR_NOACCESS = 998,
    ERROR_BADDB = 1009,
    ERROR_BADKEY = 1010,
    ERROR_KEY_DELETED = 1018,
    ERROR_NO_SYSTEM_RESOURCES = 1450,
};

enum : DWORD {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_DWORD_BIG_ENDIAN = 5,
    REG_LINK = 6,
    REG_MULTI_SZ = 7,
};

enum : REGSAM {
    KEY_QUERY_VALUE = 0x0001,
    KEY_SET_VALUE = 0x0002,
    KEY_CREATE_SUB_KEY = 0x0004,
    KEY_ENUMERATE_SUB_KEYS = 0x0008,
    KEY_NOTIFY = 0x0010,
    KEY_CREATE_LINK = 0x0020,
    KEY_WOW64_64KEY = 0x0100,
    KEY_WOW64_32KEY = 0x0200,
    DELETE = 0x00010000,
    READ_CONTROL = 0x00020000,
    WRITE_DAC = 0x00040000,
    WRITE_OWNER = 0x00080000,
    KEY_READ = 0x00020019,
    KEY_WRITE = 0x00020006,
    KEY_ALL_ACCESS = 0x000F003F,
    MAXIMUM_ALLOWED = 0x02000000,
    GENERIC_ALL = 0x10000000,
    GENERIC_WRITE = 0x40000000,
    GENERIC_READ = 0x80000000,
};

enum : DWORD { REG_OPTION_NON_VOLATILE = 0, REG_OPTION_VOLATILE = 1 };
enum : DWORD { REG_CREATED_NEW_KEY = 1, REG_OPENED_EXISTING_KEY = 2 };

// Limits of the Windows registry: longer names are refused with
// ERROR_INVALID_PARAMETER; so is a path nested deeper than the limit.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;
inline constexpr std::size_t kMaxKeyDepth = 512;
// One value may hold this much; more gives ERROR_NOT_ENOUGH_MEMORY.
inline constexpr DWORD kMaxValueSize = 64u << 20;

// A null or empty SUB_KEY opens a new handle on KEY itself. A sub-key path
// beginning with a backslash gives ERROR_BAD_PATHNAME; empty components
// ("a\\b", a trailing backslash) are skipped. Asking for write access on a
// store that cannot be written gives ERROR_ACCESS_DENIED.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result);

// Opens SUB_KEY below KEY, creating it and every missing key on the way.
// CLASS_NAME, OPTIONS and SECURITY are accepted and not kept.
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, const char* className, DWORD options,
                     REGSAM desired, const void* security, HKEY* result, DWORD* disposition);

// A null or empty NAME is the key's default value. Without DATA the size is
// reported in *DATA_SIZE; with DATA, a buffer smaller than the value gives
// ERROR_MORE_DATA and the needed size. A string value gets a terminating zero
// appended when the buffer has room for it (not counted in *DATA_SIZE).
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);

// Stores DATA_SIZE bytes of DATA as value NAME of TYPE. An open command below
// HKEY_CLASSES_ROOT (".ext\shell\open\command", default value) that starts this
// program is also made the desktop's default for that extension's file type;
// when that cannot be done the value is not stored and ERROR_ACCESS_DENIED
// comes back.
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);

// Closing a predefined root succeeds and does nothing.
LONG RegCloseKey(HKEY key);

// The file that holds the store for this process right now.
std::string storePath();

} // namespace registry
