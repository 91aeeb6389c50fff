#include "platform/shell/shell.h"

#include "platform/base/process.h"
#include "platform/shell/start.h"
#include "platform/shell/windows_programs.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {

namespace {

bool looksLikeUrl(const std::string& text)
{
    const auto colon = text.find("://");
    if (colon == std::string::npos || colon == 0)
        return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok)
            return false;
    }
    return true;
}

// Why PATH cannot be found: a missing folder on the way is "path not found".
int missingCode(const std::string& path, int error)
{
    if (error != ENOENT)
        return codeFor(error);
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return ErrFileNotFound;
    struct stat st;
    const std::string parent = path.substr(0, slash);
    return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ErrFileNotFound : ErrPathNotFound;
}

// A file without execute permission that is still meant to run.
int notRunnableCode(const std::string& path)
{
    char head[4] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    const ssize_t n = ::read(fd, head, sizeof head);
    ::close(fd);
    if (n >= 2 && head[0] == 'M' && head[1] == 'Z')
        return ErrBadFormat; // a Windows program
    if ((n >= 4 && std::memcmp(head, "\x7f" "ELF", 4) == 0) || (n >= 2 && head[0] == '#' && head[1] == '!'))
        return ErrAccessDenied;
    return -1;
}

} // namespace

int execute(const std::string& file, const std::string& parameters, const std::string& directory)
{
    if (file.empty())
        return ErrFileNotFound;

    std::string path = file;
    if (file.find('/') == std::string::npos) {
        bool denied = false;
        path = base::process::findInPath(file, &denied);
        if (path.empty()) {
            if (denied)
                return ErrAccessDenied;
            return startWindowsProgram(file, parameters, directory);
        }
    }

    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        if (looksLikeUrl(file))
            return openDocument(file, directory);
        return missingCode(path, error);
    }
    if (S_ISDIR(st.st_mode))
        return openDocument(path, directory);
    if (!S_ISREG(st.st_mode))
        return ErrAccessDenied;
    if (::access(path.c_str(), X_OK) == 0)
        return startProgram(path, file, splitParameters(parameters), directory);
    if (const int code = notRunnableCode(path); code >= 0)
        return code;
    return openDocument(path, directory);
}

} // namespace shell
