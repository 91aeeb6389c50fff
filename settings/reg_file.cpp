#include "settings/reg_file.h"

#include <cstdio>
#include <limits>
#include <vector>

using namespace registry;

namespace {

HKEY rootHandle(TRootKey root)
{
    // The performance-data root has no member, so from hkCurrentConfig on the
    // position and the handle's low digit differ.
    static const HKEY handles[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE,
                                   HKEY_USERS,        HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};
    return handles[root <= hkDynData ? root : hkCurrentUser];
}

// The registry takes a null name for the default value.
const char* nameOrNull(const std::string& name)
{
    return name.empty() ? nullptr : name.c_str();
}

} // namespace

TRegFile::TRegFile(QObject* owner) : QObject(owner) {}

TRegFile::~TRegFile()
{
    // Only reached with a key open when a caller used OpenKey itself.
    if (Handle_)
        RegCloseKey(Handle_);
}

bool TRegFile::OpenKey(const std::string& path, bool openOnly)
{
    if (Handle_) {
        RegCloseKey(Handle_);
        Handle_ = 0;
    }
    const HKEY root = rootHandle(RootKey_);
    if (openOnly || path.empty() || RootKey_ == hkDynData) {
        HKEY key = 0;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            Handle_ = key;
            return true;
        }
        if (openOnly)
            return false;
        throw ERegFileError("Can't open a Key");
    }
    HKEY key = 0;
    DWORD disposition = 0;
    const LONG code = RegCreateKeyExA(root, path.c_str(), 0, "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                      &key, &disposition);
    Handle_ = key;
    CheckResult(code);
    return true;
}

void TRegFile::CloseKey()
{
    if (Handle_) {
        CheckResult(RegCloseKey(Handle_));
        Handle_ = 0;
    }
}

void TRegFile::CheckResult(std::int32_t code)
{
    LastError_ = code;
    if (code != 0) {
        char text[32];
        std::snprintf(text, sizeof text, "Reg Error: %8.8X", static_cast<unsigned>(code));
        throw ERegFileError(text);
    }
}

std::int32_t TRegFile::ValueSize(const std::string& name, std::uint32_t& regType)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(Handle_, nameOrNull(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size > static_cast<DWORD>(std::numeric_limits<std::int32_t>::max()))
        return -1;
    regType = type;
    return static_cast<std::int32_t>(size);
}

std::uint32_t TRegFile::ReadData(const std::string& name, void* buffer, std::uint32_t size, std::uint32_t* bytesRead)
{
    DWORD type = 0;
    DWORD got = size;
    CheckResult(RegQueryValueExA(Handle_, nameOrNull(name), nullptr, &type, static_cast<BYTE*>(buffer), &got));
    if (bytesRead)
        *bytesRead = got;
    return type;
}

void TRegFile::WriteData(const std::string& name, const void* buffer, std::uint32_t size, std::uint32_t regType)
{
    CheckResult(RegSetValueExA(Handle_, nameOrNull(name), 0, regType, static_cast<const BYTE*>(buffer), size));
}

std::string TRegFile::SplitValuePath(std::string& valuePath)
{
    // Positions counted from 1, as the scan is easier to follow that way.
    std::size_t i = valuePath.size();
    auto at = [&](std::size_t pos) { return valuePath[pos - 1]; };
    while (i > 0) {
        if (at(i) != '\\') {
            --i;
        } else if (i > 1 && at(i - 1) == '\\') {
            i -= 2;
        } else {
            break;
        }
    }
    if (i == 0)
        return {};
    std::string subKey = valuePath.substr(0, i - 1);
    valuePath.erase(0, i);
    // A path whose only separator is its first character names a value of Key itself.
    if (!subKey.empty() && subKey.front() != '\\')
        subKey.insert(subKey.begin(), '\\');
    return subKey;
}

std::string TRegFile::keyPathWith(const std::string& subKey) const
{
    // Below the root itself a sub-key must not start with a separator: the
    // registry refuses such a path.
    if (Key_.empty() && !subKey.empty() && subKey.front() == '\\')
        return subKey.substr(1);
    return Key_ + subKey;
}

ui::Variant TRegFile::convert(const std::uint8_t* data, std::uint32_t size, std::uint32_t regType) const
{
    switch (regType) {
    case REG_SZ: {
        std::uint32_t length = 0;
        while (length < size && data[length] != 0)
            ++length;
        return ui::Variant(std::string(reinterpret_cast<const char*>(data), length));
    }
    case REG_DWORD: {
        // A short double word is taken as far as it goes, never read past its end.
        std::uint32_t value = 0;
        for (std::uint32_t i = 0; i < 4 && i < size; ++i)
            value |= static_cast<std::uint32_t>(data[i]) << (8 * i);
        return ui::Variant(static_cast<std::int32_t>(value));
    }
    case REG_BINARY:
        if (size == 16) {
            ui::VariantImage image;
            std::copy(data, data + 16, image.begin());
            return ui::Variant::FromImage(image);
        }
        return {};
    default:
        return {};
    }
}

ui::Variant TRegFile::ReadValue(const std::string& valuePath)
{
    ui::Variant result = ui::Variant::Null();
    std::string name = valuePath;
    const std::string subKey = SplitValuePath(name);
    OpenKey(keyPathWith(subKey), false);
    try {
        std::uint32_t type = 0;
        const std::int32_t size = ValueSize(name, type);
        if (size > 0) {
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
            std::uint32_t got = 0;
            type = ReadData(name, buffer.data(), static_cast<std::uint32_t>(size), &got);
            result = convert(buffer.data(), got, type);
        }
    } catch (...) {
        CloseKey();
        throw;
    }
    CloseKey();
    return result;
}

namespace {

// The registry type and bytes a variant is stored as.
DWORD encodeValue(TRegFile& reg, const ui::Variant& value, std::vector<std::uint8_t>& data)
{
    auto dword = [&](std::int32_t v) {
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
        return DWORD(REG_DWORD);
    };
    switch (value.VarType()) {
    case ui::varSmallint: return dword(value.AsSmallint());
    case ui::varInteger: return dword(value.AsInteger());
    case ui::varBoolean: return dword(value.AsBoolean() ? -1 : 0);
    case ui::varSingle:
    case ui::varDouble:
    case ui::varCurrency:
    case ui::varDate: {
        const ui::VariantImage image = value.Image();
        data.assign(image.begin(), image.end());
        return REG_BINARY;
    }
    case ui::varString:
        if (value.Text().size() >= std::numeric_limits<DWORD>::max())
            reg.CheckResult(ERROR_NOT_ENOUGH_MEMORY);
        data.assign(value.Text().begin(), value.Text().end());
        data.push_back(0);
        return REG_SZ;
    default:
        throw ERegFileError("Invalid variant type");
    }
}

} // namespace

void TRegFile::WriteValue(const std::string& valuePath, ui::Variant value)
{
    std::string name = valuePath;
    const std::string subKey = SplitValuePath(name);
    OpenKey(keyPathWith(subKey), false);
    try {
        std::vector<std::uint8_t> data;
        const DWORD type = encodeValue(*this, value, data);
        WriteData(name, data.data(), static_cast<std::uint32_t>(data.size()), type);
    } catch (...) {
        CloseKey();
        throw;
    }
    CloseKey();
}
