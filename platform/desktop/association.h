#pragma once
// Makes the player the program that opens a file extension on the Linux
// desktop, as the association dialog registers it in the registry: a desktop entry for the player, the default
// application of the extension's MIME type in mimeapps.list, and MIME globs for extensions the shared MIME database
// does not know, all in the user's XDG folders.
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace desktop {

inline constexpr const char* kDesktopEntryName = "quorvana.desktop";

// A type of the player's own for an extension the desktop may not know; it is
// a kind of a type the desktop does know, so other players still take it.
struct OwnType {
    std::string extension; // ".wa~" or "wa~"
    std::string type;
    std::string parent;
    std::string comment;
};

// The running program's executable (/proc/self/exe).
std::string moduleFileName();

// The program path when COMMAND starts this program: its executable, quoted or
// not (a path with blanks arrives unquoted), followed by a blank or the end.
std::optional<std::string> playerIn(const std::string& command);

// The MIME type the shared MIME database gives files ending in EXTENSION
// (".mid" or "mid"), searching the user's database before the system's; empty
// when none does.
std::string knownMimeType(const std::string& extension);

// The MIME type files with EXTENSION get on this desktop, once associated:
// the known one, else one of OWN_TYPES (the types the player declares for
// extensions the desktop may not know), else an application/x-quorvana-...
// type.
std::string mimeTypeFor(const std::string& extension, std::span<const OwnType> ownTypes);

// Makes PROGRAM the desktop's default for files with EXTENSION: through the
// installed desktop entry when PROGRAM is an installed copy (bin/ beside a
// share/applications/ holding it), else through an entry of the user's own
// whose Exec is PROGRAM. Touches only that extension's MIME type: every
// other line of mimeapps.list stays as it was. Extensions that a glob cannot express safely are left to the registry
// alone (nothing done, true). False with a reason in *ERROR when a file
// could not be written.
bool associate(const std::string& extension, const std::string& program, std::span<const OwnType> ownTypes,
    std::string* error = nullptr);

// The Exec line value that starts PROGRAM with one file.
std::string execLine(const std::string& program);

// MIMEAPPS with ENTRY first for TYPE in the default applications and in the
// added associations, the entries it had kept behind it, and every other byte
// left alone.
std::string withDefault(const std::string& mimeapps, const std::string& type, const std::string& entry);

// MIMEAPPS with ENTRY put first in TYPE's line of GROUP_NAME ("Default
// Applications"); the line or the group is added when missing.
std::string withEntryFirst(const std::string& mimeapps, const std::string& groupName, const std::string& type,
                           const std::string& entry);

} // namespace desktop
