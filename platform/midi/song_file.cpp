// Reading a song from its file: the header first, so that a file that is no
// MIDI file is refused before the rest of it is read.
#include "platform/midi/smf.h"

#include "platform/fs/file_ops.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace midi {

namespace {

constexpr uint64_t kMaxFileBytes = uint64_t {256} << 20;
// Read a piece at a time: a load that is given up stops after the piece.
constexpr size_t kReadPiece = size_t {16} << 20;

class File {
public:
    ~File()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
    uint64_t size = 0;
};

LoadError openSong(const std::string& path, File& file, std::string& error)
{
    struct stat st { };
    file.fd = kernel::openRegularFile(path, &st);
    if (file.fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR)
            error = "Cannot find the file " + path + ".";
        else if (e == EINVAL || e == EISDIR)
            error = "The file " + path + " is not a regular file.";
        else
            error = "Cannot open the file " + path + ": " + std::strerror(e) + ".";
        return e == ENOENT || e == ENOTDIR ? LoadError::NotFound : LoadError::Unreadable;
    }
    file.size = static_cast<uint64_t>(st.st_size);
    if (file.size > kMaxFileBytes) {
        error = "The file is too large for a MIDI file.";
        return LoadError::Invalid;
    }
    return LoadError::None;
}

// Up to SIZE bytes at OFFSET: fewer where the file ends, -1 on an error.
ssize_t readAt(int fd, uint64_t offset, void* buffer, size_t size)
{
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, static_cast<char*>(buffer) + got, size - got, off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

LoadError readError(const std::string& path, std::string& error)
{
    error = "Cannot read the file " + path + ": " + std::strerror(errno) + ".";
    return LoadError::Unreadable;
}

LoadError checkHeader(const File& file, const std::string& path, std::string& error)
{
    uint8_t head[14];
    ssize_t got = readAt(file.fd, 0, head, sizeof head);
    if (got >= 12 && base::riff::idIs(head, "RIFF")) {
        bool failed = false;
        const base::riff::ReadAt read = [&](uint64_t offset, void* buffer, size_t size) {
            const ssize_t n = readAt(file.fd, offset, buffer, size);
            failed = failed || n < 0;
            return n < 0 ? size_t {0} : static_cast<size_t>(n);
        };
        uint64_t begin = 0, end = 0;
        const bool found = findRmidData(read, file.size, begin, end, error);
        if (failed)
            return readError(path, error);
        if (!found)
            return LoadError::Invalid;
        got = readAt(file.fd, begin, head, size_t(std::min<uint64_t>(sizeof head, end - begin)));
    }
    if (got < 0)
        return readError(path, error);
    return checkSongHeader({head, size_t(got)}, error) ? LoadError::None : LoadError::Invalid;
}

} // namespace

LoadError probeSong(const std::string& path, std::string& error, uint64_t& bytes)
{
    File file;
    if (const LoadError e = openSong(path, file, error); e != LoadError::None)
        return e;
    bytes = file.size;
    return checkHeader(file, path, error);
}

LoadError loadSong(const std::string& path, Song& out, std::string& error, const std::atomic<bool>* cancelled)
{
    File file;
    if (const LoadError e = openSong(path, file, error); e != LoadError::None)
        return e;
    if (const LoadError e = checkHeader(file, path, error); e != LoadError::None)
        return e;
    std::vector<uint8_t, base::BulkAllocator<uint8_t>> bytes(static_cast<size_t>(file.size));
    size_t got = 0;
    while (got < bytes.size()) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
            error = "The reading of the file " + path + " was given up.";
            return LoadError::Unreadable;
        }
        const ssize_t n = ::read(file.fd, bytes.data() + got, std::min(bytes.size() - got, kReadPiece));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return readError(path, error);
        if (n == 0)
            break; // shrank while reading: take what is there
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return parseSong(bytes, out, error, cancelled) ? LoadError::None : LoadError::Invalid;
}

} // namespace midi
