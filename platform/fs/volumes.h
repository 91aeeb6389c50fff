#pragma once
// Volumes and folders as the browser sees them: the mounted volumes that hold
// user files, the volume of a path, the folder last made current on each
// volume, and reading one folder's entries. Paths are byte strings: Linux
// names need not be UTF-8.
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

// The mount point that is the longest whole-component prefix of PATH (made
// absolute first), among POINTS or else the mounted volumes.
std::string driveOf(const std::string& path);
std::string driveOf(const std::string& path, const std::vector<std::string>& points);

// The folder last made current on the volume MOUNT_POINT in this process; at
// first the folder the process started in when it is on that volume, else
// the mount point itself.
std::string rememberedFolder(const std::string& mountPoint);

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
