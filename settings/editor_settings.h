#pragma once
// The editor settings file: where it is, its section and keys with their
// defaults, and which editor a media file goes to. The Setup dialog and the
// file list's "Edit File" both read it through here.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace editor_settings {

struct Entry {
    const char* key;
    const char* defaultValue;
};

inline constexpr const char* Section = "Quorvana";
inline constexpr Entry MidiEdit{"MIDIEdit", ""};
inline constexpr Entry WavEdit{"WavEdit", "sndrec32.exe"};
inline constexpr Entry AviEdit{"AviEdit", ""};

// Values are read as into a C buffer of this size: at most 1,023 characters.
inline constexpr std::size_t ReadBufferSize = 1024;

// Where the settings are: the executable's path with ".INI" for its
// extension where its folder may be written; else (an installed copy) a
// per-user file in $XDG_CONFIG_HOME/quorvana, over the site-wide defaults an
// administrator put in $XDG_CONFIG_DIRS/quorvana, and last the file beside the
// executable where older set-ups put them. Only the per-user file is written.
struct Location {
    Location(std::string file = {}, std::vector<std::string> defaults = {})
        : file(std::move(file)), defaults(std::move(defaults))
    {
    }
    std::string file; // read first; the one file written
    std::vector<std::string> defaults; // read in order for a key FILE lacks
};
Location locate(const std::string& executable, bool folderWritable);
// The running program's location.
Location location();
// Tests keep the file in a folder of their own; empty puts the real one back.
void setFilePathForTests(const std::string& path);

std::string read(const Location& settings, const Entry& entry);

// What the file holds for ENTRY: the value as read shows it, whether the key
// is there at all, and whether the value is longer than read shows.
struct Stored {
    std::string value;
    bool present = false;
    bool cut = false;
};
Stored readStored(const Location& settings, const Entry& entry);
// False (errno set) when the file could not be written.
bool write(const Location& settings, const Entry& entry, const std::string& value);

// The entry of the editor for a media file's kind, or null for other files.
const Entry* entryForFile(const std::string& mediaPath);

// The editor configured for MEDIA_PATH; empty when none is or the kind has none.
std::string editorForFile(const Location& settings, const std::string& mediaPath);

} // namespace editor_settings
