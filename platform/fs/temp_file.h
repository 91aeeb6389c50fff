#pragma once
// A file written beside its target that becomes the target in one step. Every
// whole-file write of the player (its store, its settings, a copy) goes
// through here, so that a writer killed midway never leaves a file behind for
// good.
#include <string>
#include <sys/types.h>

namespace kernel {

class TempFile {
public:
    TempFile() = default;
    ~TempFile(); // a file that was not placed goes
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates the file in TARGET's folder; 0 or errno. Where the file system
    // allows it the file has no name until it is placed, so that a kill leaves
    // nothing. Elsewhere its hidden name carries our process id, and the
    // leftovers of dead writers of the same target are removed first.
    int open(const std::string& target, mode_t mode);
    int fd() const { return fd_; }

    // Syncs and closes the data; 0 or errno (a full disk may only tell here).
    int finish();
    // Gives the finished file the target's name, replacing an existing target
    // or, without REPLACE, failing with EEXIST and leaving it untouched.
    int place(bool replace);

private:
    int nameIt(); // gives an unnamed file a hidden name beside the target
    void discard();

    std::string target_;
    std::string path_; // empty while the file has no name
    int fd_ = -1;
    mode_t mode_ = 0600;
    bool anonymous_ = false;
};

// Removes the hidden temporary files that dead writers of TARGET left behind.
void removeStaleTemps(const std::string& target);

} // namespace kernel
