#pragma once
// Profile (INI) files read and written one key at a time, with the Windows
// rules: names matched without regard to case, a default only for an absent
// key, values limited by the caller's buffer, and updates that leave every
// other byte of the file as it was.
#include <cstddef>
#include <string>

namespace profile {

// The value of KEY in SECTION of FILE, or DEFAULT_VALUE (without its trailing
// blanks) when the file, the section or the key is absent. BUFFER_SIZE counts
// the terminating NUL of a C buffer: at most BUFFER_SIZE - 1 bytes come back.
std::string getString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& defaultValue, std::size_t bufferSize);

// Sets KEY in SECTION of FILE to VALUE, creating the file, the section or the
// key as needed. The file is replaced atomically; on failure it is left as it
// was, errno says why and false comes back. Names or values that would break
// the line structure (line breaks, NUL, "=" in a key) are refused with EINVAL.
bool writeString(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value);

} // namespace profile
