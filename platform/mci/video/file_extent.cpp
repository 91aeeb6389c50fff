#include "platform/mci/video/file_extent.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace mci::video {

namespace {

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The end of the first "RIFF AVI " chunk and of the "RIFF AVIX" ones after it
// in a large file; 0 when the file is no AVI.
int64_t riffChainEnd(int fd, int64_t fileSize)
{
    int64_t at = 0;
    for (int chunk = 0; chunk < 4096 && at + 12 <= fileSize; ++chunk) {
        unsigned char head[12];
        if (::pread(fd, head, sizeof head, at) != static_cast<ssize_t>(sizeof head))
            break;
        if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, chunk == 0 ? "AVI " : "AVIX", 4) != 0)
            break;
        const int64_t size = le32(head + 4);
        at = std::min(fileSize, at + 8 + size + (size & 1));
    }
    return at;
}

} // namespace

int64_t aviEnd(int fd, int64_t fileSize)
{
    const int64_t end = riffChainEnd(fd, fileSize);
    if (end == 0 || end >= fileSize)
        return end;
    unsigned char next[4096];
    const ssize_t n = ::pread(fd, next, sizeof next, end);
    for (ssize_t i = 0; i < n; ++i)
        if (next[i] != 0)
            return fileSize;
    return end;
}

int64_t dataEnd(int fd, int64_t fileSize)
{
    int64_t at = 0;
    for (int extent = 0; extent < 4096 && at < fileSize; ++extent) {
        const off_t data = ::lseek(fd, at, SEEK_DATA);
        if (data < 0)
            return errno == ENXIO ? at : fileSize;
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0)
            return fileSize;
        at = hole;
    }
    return fileSize;
}

} // namespace mci::video
