#include "settings/editor_settings.h"

#include "core/media_kinds.h"
#include "platform/fs/kernel.h"
#include "platform/profile/profile.h"

namespace editor_settings {


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
    const media_kinds::Kind* kind = media_kinds::kindOf(QString::fromUtf8(mediaPath.data(), qsizetype(mediaPath.size())));
    if (!kind)
        return nullptr;
    switch (kind->editor) {
    case media_kinds::Editor::Midi: return &MidiEdit;
    case media_kinds::Editor::Wave: return &WavEdit;
    case media_kinds::Editor::Video: return &AviEdit;
    }
    return nullptr;
}

std::string editorForFile(const std::string& settingsFile, const std::string& mediaPath)
{
    const Entry* entry = entryForFile(mediaPath);
    return entry ? read(settingsFile, *entry) : std::string();
}

} // namespace editor_settings
