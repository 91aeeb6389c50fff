#pragma once
// A whole-file write into a folder that may not exist yet: the player's own
// per-user folders are made on first use.
#include <string>
#include <string_view>

namespace kernel {

// Writes BYTES to PATH as writeFileAtomically does, creating missing folders
// (mode 0700) on the way. On failure PATH is left as it was, no temporary
// file stays behind and errno says why.
bool writeFileMakingFolders(const std::string& path, std::string_view bytes);

// Creates PATH and every missing parent folder.
bool makeFolders(const std::string& path);

} // namespace kernel
