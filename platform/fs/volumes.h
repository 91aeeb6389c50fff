#pragma once
// Volumes and folders as the browser sees them: its drives (the user's home
// and music folders, the mounted volumes that hold user files), the drive of
// a path, the folder last made current on each drive, and reading one
// folder's entries. Paths are byte strings: Linux names need not be UTF-8.
#include <string>
#include <vector>

namespace volumes {

// The process's current folder; "/" when it cannot be told.
std::string currentFolder();

// An absolute path without "." or ".." components, doubled or trailing "/"
// (except the root itself); a relative path is taken from the current folder.
std::string absolutePath(const std::string& path);

std::string joinPath(const std::string& folder, const std::string& name);

bool isFolder(const std::string& path);
bool exists(const std::string& path);

// The mount points of real file systems ("/" always), "/" first, the rest
// sorted. Read on every call: media come and go.
std::vector<std::string> mountPoints();
std::vector<std::string> mountPoints(const char* mountTable);
// The table mountPoints() reads, /proc/self/mounts unless a test points it at
// a table of its own.
void setMountTable(const std::string& path);

// A "drive" of the browser: a mounted volume, or one of the user's own
// folders offered beside the volumes, with the name it is shown by.
struct Drive {
    std::string path;
    std::string name;
    bool operator==(const Drive&) const = default;
};

// The user's own folders: the home folder ($HOME), named "Home", and the
// music folder that $XDG_CONFIG_HOME/user-dirs.dirs names (XDG_MUSIC_DIR,
// "$HOME/..." or absolute), named by its last component. Each only where it
// is a folder; never "/", nor the music folder where it is the home folder
// (which is how that file turns a folder off). Read on every call.
std::vector<Drive> userFolders();

// What the browser offers as drives: the user's folders, then the mounted
// volumes not among them, each named by its mount point.
std::vector<Drive> drives();

// The drive whose path is the longest whole-component prefix of PATH (made
// absolute first), among POINTS or else drives(): a folder inside the home
// folder is on the home drive, unless a volume mounted below it, or the
// music folder, holds it.
std::string driveOf(const std::string& path);
std::string driveOf(const std::string& path, const std::vector<std::string>& points);

// The folder last made current on the drive DRIVE in this process; at first
// the folder the process started in when it is on that drive, else the
// drive's own folder.
std::string rememberedFolder(const std::string& drive);

// The patterns of a file mask such as "*.mid;*.wav", matched without regard
// to ASCII case. An empty mask matches everything.
class NameMask {
public:
    explicit NameMask(const std::string& mask);
    bool matches(const char* name) const;

private:
    struct Pattern {
        std::string pattern;
        std::string suffix; // lower-cased; set when the pattern is "*" + a plain suffix
        bool suffixOnly;
    };
    std::vector<Pattern> patterns_;
};

enum class EntryKind { Files, Folders };

// Reads the entries of FOLDER of one KIND (those a MASK accepts, for files),
// hidden ones left out, unsorted, and makes FOLDER the process's current
// folder and the remembered folder of its volume. Both happen or neither:
// the result is 0, or the system's error number with nothing changed.
int enterFolder(const std::string& folder, EntryKind kind, const NameMask* mask, std::vector<std::string>& names);

} // namespace volumes
