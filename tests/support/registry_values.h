#pragma once
// Values as the registry store holds them, read and written past the
// components under test.
#include "platform/registry/registry.h"

#include <optional>
#include <string>

namespace testing_support {

struct RawValue {
    registry::DWORD type = 0;
    std::string data;
};

// The value NAME (null: the default one) of KEY below ROOT; nullopt when the
// key or the value is not there.
inline std::optional<RawValue> readRaw(registry::HKEY root, const char* key, const char* name)
{
    using namespace registry;
    HKEY h = 0;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return std::nullopt;
    RawValue r;
    DWORD size = 0;
    LONG code = RegQueryValueExA(h, name, nullptr, &r.type, nullptr, &size);
    if (code == ERROR_SUCCESS) {
        r.data.resize(size);
        code = RegQueryValueExA(h, name, nullptr, &r.type, reinterpret_cast<BYTE*>(r.data.data()), &size);
    }
    RegCloseKey(h);
    return code == ERROR_SUCCESS ? std::optional<RawValue>(r) : std::nullopt;
}

// Stores the value, creating KEY; false when the registry refuses.
inline bool writeRaw(
    registry::HKEY root, const char* key, const char* name, registry::DWORD type, const std::string& data)
{
    using namespace registry;
    HKEY h = 0;
    if (RegCreateKeyExA(root, key, 0, "", 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG code
        = RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    RegCloseKey(h);
    return code == ERROR_SUCCESS;
}

inline bool keyExists(registry::HKEY root, const char* key)
{
    using namespace registry;
    HKEY h = 0;
    const bool found = RegOpenKeyExA(root, key, 0, KEY_READ, &h) == ERROR_SUCCESS;
    if (found)
        RegCloseKey(h);
    return found;
}

} // namespace testing_support
