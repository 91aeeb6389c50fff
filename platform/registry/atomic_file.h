#pragma once
// Whole-file replacement that a crash cannot tear: readers see the old bytes
// or the new ones.
#include <string>
#include <string_view>

namespace registry {

// Writes BYTES to a temporary file beside PATH, syncs it and renames it over
// PATH, creating missing folders (mode 0700) on the way. On failure PATH is
// left as it was, no temporary file stays behind and errno says why.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// Creates PATH and every missing parent folder.
bool makeFolders(const std::string& path);

} // namespace registry
