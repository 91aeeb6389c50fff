#include "platform/shell/start.h"

#include "platform/base/process.h"
#include "platform/shell/shell.h"

#include <cerrno>

namespace shell {

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
    std::vector<std::string> arguments {argv0};
    arguments.insert(arguments.end(), parameters.begin(), parameters.end());
    return codeFor(base::process::startDetached(path, arguments, directory));
}

int startFirstInstalled(
    const std::vector<Program>& programs, const std::vector<std::string>& extra, const std::string& directory)
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

namespace {

// gio goes straight to the desktop's MIME defaults; xdg-open is a script that
// guesses the desktop first and differs from one to the next.
const std::vector<Program>& desktopOpeners()
{
    static const std::vector<Program> programs = {
        {"gio", {"open"}},
        {"xdg-open", {}},
    };
    return programs;
}

} // namespace

int openWithDefaultApplication(const std::vector<std::string>& documents, const std::string& directory)
{
    if (documents.empty())
        return ErrFileNotFound;
    return startFirstInstalled(desktopOpeners(), documents, directory);
}

int openDocument(const std::string& document, const std::string& directory)
{
    const int result = openWithDefaultApplication({document}, directory);
    return result == ErrFileNotFound ? ErrNoAssociation : result;
}

} // namespace shell
