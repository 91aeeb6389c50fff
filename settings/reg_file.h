#pragma once
// TRegFile: a non-visual component that reads and writes single registry
// values as variants. Each access opens its key (creating it when missing),
// does its one read or write and closes the key again, so no key stays open
// between calls.
#include "framework/variant.h"
#include "framework/errors.h"
#include "platform/registry/registry.h"

#include <QObject>

#include <cstdint>
#include <string>

enum TRootKey : std::uint8_t { hkClassesRoot, hkCurrentUser, hkLocalMachine, hkUsers, hkCurrentConfig, hkDynData };

class ERegFileError : public ui::Exception {
public:
    using ui::Exception::Exception;
};

class TRegFile : public QObject {
public:
    explicit TRegFile(QObject* owner = nullptr);
    ~TRegFile() override;

    TRootKey RootKey() const { return RootKey_; }
    void SetRootKey(TRootKey root) { RootKey_ = root; }
    // Backslash-separated path below the root, no leading backslash; empty is the root itself.
    const std::string& Key() const { return Key_; }
    void SetKey(const std::string& key) { Key_ = key; }
    registry::HKEY Handle() const { return Handle_; }
    std::int32_t LastError() const { return LastError_; }

    // Opens PATH below the root into Handle, creating it unless OPEN_ONLY, the
    // path is empty or the root is hkDynData. False only when OPEN_ONLY and the
    // key cannot be opened.
    virtual bool OpenKey(const std::string& path, bool openOnly);
    virtual void CloseKey();

    // VALUE_PATH is an optional sub-key path and a value name split at the last
    // single backslash; an empty name is the key's default value. A missing
    // value reads as null, one of a type not converted as empty.
    ui::Variant ReadValue(const std::string& valuePath);
    void WriteValue(const std::string& valuePath, ui::Variant value);

    // On the open Handle; an empty name is the default value.
    std::int32_t ValueSize(const std::string& name, std::uint32_t& regType);
    std::uint32_t ReadData(const std::string& name, void* buffer, std::uint32_t size,
                           std::uint32_t* bytesRead = nullptr);
    void WriteData(const std::string& name, const void* buffer, std::uint32_t size, std::uint32_t regType);
    void CheckResult(std::int32_t code);

    // Leaves the value name in VALUE_PATH and returns the sub-key part, with a
    // backslash in front. Two backslashes in a row belong to a name.
    static std::string SplitValuePath(std::string& valuePath);

private:
    std::string keyPathWith(const std::string& subKey) const;
    ui::Variant convert(const std::uint8_t* data, std::uint32_t size, std::uint32_t regType) const;

    TRootKey RootKey_ = hkCurrentUser;
    std::string Key_;
    registry::HKEY Handle_ = 0;
    std::int32_t LastError_ = 0;
};
