#include "platform/base/process.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace base::process {

std::string findInPath(const std::string& name, bool* deniedSomewhere)
{
    const char* env = std::getenv("PATH");
    const std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(':', start);
        const std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
            if (deniedSomewhere)
                *deniedSomewhere = true;
        }
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

} // namespace base::process
