#pragma once
// Starting programs and opening documents the way the Windows shell does it
// for the player: a program path or a bare name found in PATH, its parameters
// split by the Windows command-line rules, started on its own and not waited
// for. Results follow ShellExecute: above 32 is success, else a Windows code.
#include <string>
#include <vector>

namespace shell {

enum : int {
    ErrFileNotFound = 2,
    ErrPathNotFound = 3,
    ErrAccessDenied = 5,
    ErrOutOfMemory = 8,
    ErrBadFormat = 11,
    ErrNoAssociation = 31,
};

// What a successful start returns (any value above 32 means success).
inline constexpr int Started = 42;

// What the program running here lends to the stand-ins for the Windows
// programs it names; given once at start-up.
struct Desktop {
    // The Multimedia control panel: the file to run and its arguments, the
    // first being the name it runs under. Empty: the panel has no stand-in.
    std::string panelProgram;
    std::vector<std::string> panelArguments;
    // The program's own desktop entry ("name.desktop"). A Windows editor this
    // system lacks opens the file with any editor but this one, which may
    // well be the desktop's default for the file.
    std::string ownDesktopEntry;
};

// Puts in what the stand-ins use from now on; returns the one before.
Desktop setDesktop(Desktop desktop);

// Starts FILE with PARAMETERS in DIRECTORY (empty: the current folder). A file
// that is no program (a document, a folder, a URL) is opened with the
// desktop's opener and PARAMETERS are ignored. "RUNDLL32.EXE" with the
// Multimedia control-panel parameters starts the Desktop's panel;
// "sndrec32.exe" starts an installed wave editor, else, as any other "*.exe"
// this system lacks, opens the documents PARAMETERS names with an application
// of the desktop that edits them, other than the Desktop's own entry; a
// player does not count, and with no editor the result is ErrNoAssociation.
int execute(const std::string& file, const std::string& parameters, const std::string& directory = {});

// Whether the desktop has a sound settings program (a mixer) installed.
bool soundSettingsInstalled();
// Starts the first installed one; ErrFileNotFound when there is none.
int openSoundSettings();

// The arguments PARAMETERS stands for, split as Windows programs split their
// command line: blanks separate, double quotes group, and backslashes escape
// only the quotes they precede.
std::vector<std::string> splitParameters(const std::string& parameters);

// ARGUMENT written so that splitParameters gives back exactly ARGUMENT, as one
// argument: unchanged when it needs nothing, else in double quotes with its
// quotes and the backslashes before them escaped.
std::string quoteParameter(const std::string& argument);

} // namespace shell
