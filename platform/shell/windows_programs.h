#pragma once
// The Windows programs the player names by their Windows names, and the
// desktop's programs that stand in for them on this system.
#include <string>

namespace shell {

// Starts the stand-in for the Windows program NAME (any case, with or
// without ".exe") with PARAMETERS; ErrFileNotFound for a name the table does
// not hold, or when no stand-in is installed.
int startWindowsProgram(const std::string& name, const std::string& parameters, const std::string& directory);

} // namespace shell
