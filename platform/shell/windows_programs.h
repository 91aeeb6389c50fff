#pragma once
// The Windows programs the player names by their Windows names, and the
// desktop's programs that stand in for them on this system.
#include <string>

namespace shell {

// Starts the stand-in for the Windows program NAME (any case, with or
// without ".exe" and a Windows folder) with PARAMETERS. Any other name ending
// in ".exe" opens the documents PARAMETERS names with the desktop's
// application for them other than the Desktop's own entry. ErrFileNotFound
// for other names, or when no stand-in is installed.
int startWindowsProgram(const std::string& name, const std::string& parameters, const std::string& directory);

} // namespace shell
