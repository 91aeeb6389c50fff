#include "fuzz/exercises.h"

#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace fuzzing {

std::string memoryFile(const uint8_t* data, size_t size, int& fd)
{
    fd = ::memfd_create("fuzz", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size))
        return {};
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace fuzzing
