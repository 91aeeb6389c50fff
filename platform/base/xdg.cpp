#include "platform/base/xdg.h"

#include <cstdlib>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace base::xdg {

namespace {

std::vector<std::string> absoluteEntries(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    std::stringstream in(value && *value ? value : fallback);
    std::vector<std::string> dirs;
    for (std::string dir; std::getline(in, dir, ':');) {
        if (!dir.empty() && dir.front() == '/')
            dirs.push_back(dir);
    }
    return dirs;
}

std::string absoluteOr(const char* variable, const char* belowHome)
{
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return value;
    return homeFolder() + "/" + belowHome;
}

} // namespace

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/tmp";
}

std::string dataHome()
{
    return absoluteOr("XDG_DATA_HOME", ".local/share");
}

std::string configHome()
{
    return absoluteOr("XDG_CONFIG_HOME", ".config");
}

std::vector<std::string> dataDirs()
{
    return absoluteEntries("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
}

std::vector<std::string> configDirs()
{
    return absoluteEntries("XDG_CONFIG_DIRS", "/etc/xdg");
}

} // namespace base::xdg
