#include "platform/fs/folders.h"

#include "platform/fs/file_ops.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kernel {

bool makeFolders(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    const std::string parent = kernel::folderOf(path);
    if (parent != path && !makeFolders(parent))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeFileMakingFolders(const std::string& path, std::string_view bytes)
{
    if (!makeFolders(kernel::folderOf(path)))
        return false;
    const kernel::Status status = kernel::writeFileAtomically(path, std::string(bytes));
    errno = status.error;
    return status.ok();
}

} // namespace kernel
