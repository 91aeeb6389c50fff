#pragma once
// Profile (INI) files read and written one key at a time, with the Windows
// rules: names matched without regard to case, a default only for an absent
// key, values limited by the caller's buffer, and updates that leave every
// other byte of the file as it was.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace profile {

// The value of KEY in SECTION of FILE, or DEFAULT_VALUE (without its trailing
// blanks) when the file, the section or the key is absent. BUFFER_SIZE counts
// the terminating NUL of a C buffer: at most BUFFER_SIZE - 1 bytes come back.
std::string getString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& defaultValue, std::size_t bufferSize);

// The value of KEY in SECTION from the first of FILES that holds the key, as
// getString reads it with BUFFER_SIZE; nothing when none of them does. A
// user's own file ahead of a site's: a key present there, even empty, wins;
// one the user never set comes from the site's administrator.
std::optional<std::string> findString(
    const std::vector<std::string>& files, const std::string& section, const std::string& key, std::size_t bufferSize);

// Where a site's administrator keeps a program's defaults: RELATIVE below
// each folder of $XDG_CONFIG_DIRS, in order (/etc/xdg when it is unset).
// They are only ever read.
std::vector<std::string> siteWideFiles(const std::string& relative);

// Sets KEY in SECTION of FILE to VALUE, creating the file, the section or the
// key as needed. The file is replaced atomically; on failure it is left as it
// was, errno says why and false comes back. Names or values that would break
// the line structure (line breaks, NUL, "=" in a key) are refused with EINVAL.
bool writeString(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value);

} // namespace profile
