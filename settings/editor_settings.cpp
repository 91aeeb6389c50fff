#include "settings/editor_settings.h"

#include "core/media_kinds.h"
#include "platform/base/xdg.h"
#include "platform/fs/file_ops.h"
#include "platform/fs/system_info.h"
#include "platform/profile/profile.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace editor_settings {

namespace {

std::string& pathOverride()
{
    static std::string path;
    return path;
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// An installed copy never writes beside itself, even where root may.
bool mayWriteBeside(const std::string& folder)
{
    for (const char* system : {"/usr/", "/bin/", "/sbin/", "/opt/"}) {
        if ((folder + "/").rfind(system, 0) == 0)
            return false;
    }
    return ::access(folder.c_str(), W_OK) == 0;
}

} // namespace

Location locate(const std::string& executable, bool folderWritable)
{
    const std::string beside = kernel::iniPathFor(executable);
    if (folderWritable)
        return {beside};
    return {base::xdg::configHome() + "/quorvana/" + beside.substr(beside.find_last_of('/') + 1), beside};
}

Location location()
{
    if (!pathOverride().empty())
        return {pathOverride()};
    const std::string executable = kernel::moduleFileName();
    return locate(executable, mayWriteBeside(executable.substr(0, executable.find_last_of('/'))));
}

void setFilePathForTests(const std::string& path)
{
    pathOverride() = path;
}

namespace {

const std::string& readFrom(const Location& settings)
{
    return settings.shared.empty() || exists(settings.file) ? settings.file : settings.shared;
}

} // namespace

std::string read(const Location& settings, const Entry& entry)
{
    return profile::getString(readFrom(settings), Section, entry.key, entry.defaultValue, ReadBufferSize);
}

Stored readStored(const Location& settings, const Entry& entry)
{
    // A line break never comes back from a value, so it marks an absent key.
    static const std::string absent = "\n";
    const std::string& file = readFrom(settings);
    const std::string whole = profile::getString(file, Section, entry.key, absent, kernel::kMaxSettingsFileBytes);
    if (whole == absent)
        return {read(settings, entry), false, false};
    Stored stored {whole.substr(0, ReadBufferSize - 1), true, whole.size() > ReadBufferSize - 1};
    return stored;
}

bool write(const Location& settings, const Entry& entry, const std::string& value)
{
    if (!settings.shared.empty() && !exists(settings.file)) {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(settings.file).parent_path(), ignored);
        if (exists(settings.shared)) {
            const kernel::Status copied = kernel::copyFile(settings.shared, settings.file);
            if (!copied.ok() && !copied.targetExists()) {
                errno = copied.error;
                return false;
            }
        }
    }
    return profile::writeString(settings.file, Section, entry.key, value);
}

const Entry* entryForFile(const std::string& mediaPath)
{
    const media_kinds::Kind* kind = media_kinds::kindOf(QString::fromUtf8(mediaPath.data(), qsizetype(mediaPath.size())));
    if (!kind || !kind->listed) // only what the list shows has a context menu
        return nullptr;
    switch (kind->editor) {
    case media_kinds::Editor::Midi: return &MidiEdit;
    case media_kinds::Editor::Wave: return &WavEdit;
    case media_kinds::Editor::Video: return &AviEdit;
    }
    return nullptr;
}

std::string editorForFile(const Location& settings, const std::string& mediaPath)
{
    const Entry* entry = entryForFile(mediaPath);
    return entry ? read(settings, *entry) : std::string();
}

} // namespace editor_settings
