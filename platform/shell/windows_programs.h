#pragma once
// The Windows programs the player names by their Windows names, and the
// desktop's programs that stand in for them on this system.
#include <string>

namespace shell {

// Starts the stand-in for the Windows program NAME (any case, with or
// without ".exe" and a Windows folder) with PARAMETERS. Any other name ending
// in ".exe" was an editor: the documents PARAMETERS names open with an
// application of the desktop that edits them (openWithEditorOtherThan), other
// than the Desktop's own entry. ErrFileNotFound for other names, or when no
// stand-in is installed; ErrNoAssociation when the desktop has no editor.
int startWindowsProgram(const std::string& name, const std::string& parameters, const std::string& directory);

} // namespace shell
