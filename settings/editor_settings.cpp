#include "settings/editor_settings.h"

#include "core/media_kinds.h"
#include "platform/base/xdg.h"
#include "platform/fs/file_ops.h"
#include "platform/fs/system_info.h"
#include "platform/profile/profile.h"

#include <filesystem>
#include <unistd.h>

namespace editor_settings {

namespace {

std::string& pathOverride()
{
    static std::string path;
    return path;
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
    const std::string name = beside.substr(beside.find_last_of('/') + 1);
    std::vector<std::string> defaults = profile::siteWideFiles("quorvana/" + name);
    defaults.push_back(beside);
    return {base::xdg::configHome() + "/quorvana/" + name, std::move(defaults)};
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

std::vector<std::string> layers(const Location& settings)
{
    std::vector<std::string> files {settings.file};
    files.insert(files.end(), settings.defaults.begin(), settings.defaults.end());
    return files;
}

} // namespace

std::string read(const Location& settings, const Entry& entry)
{
    return profile::findString(layers(settings), Section, entry.key, ReadBufferSize).value_or(entry.defaultValue);
}

Stored readStored(const Location& settings, const Entry& entry)
{
    const auto whole = profile::findString(layers(settings), Section, entry.key, kernel::kMaxSettingsFileBytes);
    if (!whole)
        return {entry.defaultValue, false, false};
    return {whole->substr(0, ReadBufferSize - 1), true, whole->size() > ReadBufferSize - 1};
}

bool write(const Location& settings, const Entry& entry, const std::string& value)
{
    if (!settings.defaults.empty()) { // the per-user folder may not be there yet
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(settings.file).parent_path(), ignored);
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
