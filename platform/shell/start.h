#pragma once
// Starting a program detached, and the Windows result codes of a start: the
// shell's own helpers, shared by its parts.
#include <string>
#include <vector>

namespace shell {

// A program of the desktop with the arguments it needs before the file.
struct Program {
    const char* name;
    std::vector<std::string> arguments;
};

// The shell's result for a start that failed with ERROR (0: Started).
int codeFor(int error);

// Starts PATH as ARGV0 with PARAMETERS in DIRECTORY, not waiting for it.
int startProgram(const std::string& path, const std::string& argv0, const std::vector<std::string>& parameters,
    const std::string& directory);

// Starts the first of PROGRAMS found in PATH with its arguments and EXTRA;
// ErrFileNotFound when none is installed.
int startFirstInstalled(
    const std::vector<Program>& programs, const std::vector<std::string>& extra, const std::string& directory);

// Opens DOCUMENTS with the application the desktop sets for their type
// (gio open, else xdg-open); ErrFileNotFound when there is nothing to open or
// neither is installed.
int openWithDefaultApplication(const std::vector<std::string>& documents, const std::string& directory);

// Opens DOCUMENT with the desktop's default application; ErrNoAssociation
// when the desktop has no opener.
int openDocument(const std::string& document, const std::string& directory);

} // namespace shell
