#include "platform/fs/system_info.h"

#include "platform/base/xdg.h"
#include "platform/fs/folders.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kernel {

std::string windowsDirectory()
{
    std::string dir;
    if (const char* own = std::getenv("QUORVANA_WINDIR"); own && *own)
        dir = own;
    else
        dir = base::xdg::dataHome() + "/quorvana";
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    makeFolders(dir); // a failure shows at the write that needs it
    return dir;
}

uint32_t tickCount()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

std::string moduleFileName()
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size()) {
            std::string path(buffer.data(), static_cast<size_t>(n));
            // An executable replaced while running (an update) is still the program's path.
            const std::string deleted = " (deleted)";
            if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
                struct stat st;
                if (::lstat(path.c_str(), &st) != 0)
                    path.resize(path.size() - deleted.size());
            }
            return path;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string iniPathFor(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart)
        return path + ".INI";
    return path.substr(0, dot) + ".INI";
}

} // namespace kernel
