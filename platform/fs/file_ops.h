#pragma once
// The file operations the player relies on, on POSIX: copy, move and delete
// that never replace an existing file, whole-file reads with a limit, and
// whole-file writes that a crash cannot tear. Failures carry errno so that a
// caller can tell "target exists" from everything else.
#include <cstddef>
#include <cstdint>
#include <string>

struct stat;

namespace kernel {

struct Status {
    int error = 0; // errno; 0 on success

    bool ok() const { return error == 0; }
    bool targetExists() const;
    // The system's reason, for the user.
    std::string text() const;

    static Status success() { return {}; }
    static Status fromErrno();
};

// The folder of PATH: "." for a bare name, "/" for an entry of the root.
std::string folderOf(const std::string& path);

// Copies FROM to TO. TO must not exist: an existing TO (FROM itself included)
// gives EEXIST and stays untouched; any failure leaves no partial file behind.
Status copyFile(const std::string& from, const std::string& to);

// Renames FROM to TO without replacing an existing TO; across file systems the
// file is copied whole first and the source removed only after that.
Status moveFile(const std::string& from, const std::string& to);

Status deleteFile(const std::string& path);

// Settings files and the registry store beyond this size are refused unread:
// nothing the player writes comes near it, and reading one must not be able
// to take the machine's memory.
inline constexpr uint64_t kMaxSettingsFileBytes = uint64_t{16} << 20;

// Opens PATH for reading without ever waiting on it. Anything but a regular
// file is refused before a byte is read: a folder with EISDIR, a FIFO, a
// socket or a device with EINVAL. STATUS, when given, gets what fstat says.
// Returns the descriptor, or -1 with errno set.
int openRegularFile(const std::string& path, struct stat* status = nullptr);

// Appends everything left to read from FD to OUT; false with errno set on a
// read error, or EFBIG once OUT would pass MAX_BYTES.
bool readAll(int fd, std::string& out, uint64_t maxBytes = UINT64_MAX);
// The whole content of PATH, a regular file of at most MAX_BYTES (EFBIG
// beyond); false with errno set when it cannot be read.
bool readWholeFile(const std::string& path, std::string& out, uint64_t maxBytes = kMaxSettingsFileBytes);
// Writes all SIZE bytes of DATA to FD, through interruptions: 0, or errno.
int writeAll(int fd, const char* data, size_t size);

// Replaces the content of PATH (or creates it) in one step: readers see the old
// bytes or the new ones, never a mix, and a failure keeps the old file whole.
// The file keeps its mode, its owner where we may set it (only root may give
// a file away) and its group; one whose group we cannot keep gives EPERM, one
// we may not write, or that has no write permission at all, EACCES, and one
// that is not a regular file EINVAL: none of them is replaced.
Status writeFileAtomically(const std::string& path, const std::string& bytes);

// Creates PATH holding BYTES, complete or not at all; an existing PATH gives
// EEXIST and stays untouched.
Status createFile(const std::string& path, const std::string& bytes);

} // namespace kernel
