#include "platform/shell/shell.h"

#include "platform/base/ascii.h"
#include "platform/base/process.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {

namespace {

struct Program {
    const char* name;
    std::vector<std::string> arguments;
};

// The desktop's counterparts of the Windows programs the player names, in
// order of preference.
const std::vector<Program>& soundSettingsPrograms()
{
    static const std::vector<Program> programs = {
        {"pavucontrol", {}},
        {"pavucontrol-qt", {}},
        {"gnome-control-center", {"sound"}},
        {"systemsettings", {"kcm_pulseaudio"}},
        {"systemsettings5", {"kcm_pulseaudio"}},
        {"cinnamon-settings", {"sound"}},
        {"mate-volume-control", {}},
        {"xfce4-pulseaudio-plugin", {}},
    };
    return programs;
}

const std::vector<Program>& waveEditors()
{
    static const std::vector<Program> programs = {
        {"audacity", {}}, {"tenacity", {}}, {"ocenaudio", {}}, {"mhwaveedit", {}}, {"sweep", {}},
    };
    return programs;
}

int codeFor(int error)
{
    switch (error) {
    case 0:
        return Started;
    case ENOENT:
        return ErrFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ErrPathNotFound;
    case EACCES:
    case EPERM:
    case ETXTBSY:
        return ErrAccessDenied;
    case ENOEXEC:
    case ELIBBAD:
        return ErrBadFormat;
    case ENOMEM:
    case E2BIG:
    case EAGAIN:
        return ErrOutOfMemory;
    default:
        return ErrAccessDenied;
    }
}

int startProgram(const std::string& path, const std::string& argv0, const std::vector<std::string>& parameters,
                 const std::string& directory)
{
    std::vector<std::string> arguments{argv0};
    arguments.insert(arguments.end(), parameters.begin(), parameters.end());
    return codeFor(base::process::startDetached(path, arguments, directory));
}

int startFirstInstalled(const std::vector<Program>& programs, const std::vector<std::string>& extra,
                        const std::string& directory)
{
    for (const auto& program : programs) {
        const std::string path = base::process::findInPath(program.name);
        if (path.empty())
            continue;
        std::vector<std::string> parameters = program.arguments;
        parameters.insert(parameters.end(), extra.begin(), extra.end());
        return startProgram(path, program.name, parameters, directory);
    }
    return ErrFileNotFound;
}

int openDocument(const std::string& document, const std::string& directory)
{
    const std::string opener = base::process::findInPath("xdg-open");
    if (opener.empty())
        return ErrNoAssociation;
    return startProgram(opener, "xdg-open", {document}, directory);
}

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

std::mutex& panelMutex()
{
    static std::mutex m;
    return m;
}

std::string& panelProgram()
{
    static std::string path;
    return path;
}

int startMultimediaPanel(const std::string& directory)
{
    std::string path;
    {
        std::lock_guard lock(panelMutex());
        path = panelProgram();
    }
    if (!path.empty())
        return startProgram(path, path, {multimediaPanelArgument}, directory);
    // The running file itself, whatever became of its name since it started
    // (an upgrade replaces it); its own name for the process list.
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string name = n > 0 ? std::string(self, size_t(n)) : std::string("quorvana");
    return startProgram("/proc/self/exe", name, {multimediaPanelArgument}, directory);
}

// The Windows programs the player names by their Windows names.
int startWindowsProgram(const std::string& name, const std::string& parameters, const std::string& directory)
{
    using base::ascii::equalIgnoringCase;
    if (equalIgnoringCase(name, "rundll32.exe") || equalIgnoringCase(name, "rundll32")) {
        if (base::ascii::toLower(parameters).find("mmsys.cpl") != std::string::npos)
            return startMultimediaPanel(directory);
        return ErrFileNotFound;
    }
    if (equalIgnoringCase(name, "sndrec32.exe") || equalIgnoringCase(name, "sndrec32"))
        return startFirstInstalled(waveEditors(), splitParameters(parameters), directory);
    return ErrFileNotFound;
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

std::string setMultimediaPanelProgram(std::string path)
{
    std::lock_guard lock(panelMutex());
    std::swap(panelProgram(), path);
    return path;
}

bool soundSettingsInstalled()
{
    for (const auto& program : soundSettingsPrograms())
        if (!base::process::findInPath(program.name).empty())
            return true;
    return false;
}

int openSoundSettings() { return startFirstInstalled(soundSettingsPrograms(), {}, {}); }

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
