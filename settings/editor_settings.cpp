#include "settings/editor_settings.h"

#include "platform/fs/kernel.h"
#include "platform/profile/profile.h"

#include <algorithm>

namespace editor_settings {

namespace {

// From the last "." of the name part to the end, upper-cased; empty without one.
std::string upperExtension(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c); });
    return extension;
}

} // namespace

namespace {
std::string& pathOverride()
{
    static std::string path;
    return path;
}
} // namespace

std::string filePath()
{
    return pathOverride().empty() ? kernel::iniPathFor(kernel::moduleFileName()) : pathOverride();
}

void setFilePathForTests(const std::string& path)
{
    pathOverride() = path;
}

std::string read(const std::string& settingsFile, const Entry& entry)
{
    return profile::getString(settingsFile, Section, entry.key, entry.defaultValue, ReadBufferSize);
}

bool write(const std::string& settingsFile, const Entry& entry, const std::string& value)
{
    return profile::writeString(settingsFile, Section, entry.key, value);
}

const Entry* entryForFile(const std::string& mediaPath)
{
    const std::string extension = upperExtension(mediaPath);
    if (extension == ".MID" || extension == ".RMI" || extension == ".BUN")
        return &MidiEdit;
    if (extension == ".WAV" || extension == ".WA~")
        return &WavEdit;
    if (extension == ".AVI")
        return &AviEdit;
    return nullptr;
}

std::string editorForFile(const std::string& settingsFile, const std::string& mediaPath)
{
    const Entry* entry = entryForFile(mediaPath);
    return entry ? read(settingsFile, *entry) : std::string();
}

} // namespace editor_settings
