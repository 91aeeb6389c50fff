#include "platform/registry/atomic_file.h"

#include "platform/fs/kernel.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace registry {

namespace {

std::string parentOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

bool makeFolders(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    const std::string parent = parentOf(path);
    if (parent != path && !makeFolders(parent))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes)
{
    if (!makeFolders(parentOf(path)))
        return false;
    const kernel::Status status = kernel::writeFileAtomically(path, std::string(bytes));
    errno = status.error;
    return status.ok();
}

} // namespace registry
