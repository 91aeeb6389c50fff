#include "platform/shell/desktop_applications.h"

#include "platform/base/process.h"
#include "platform/base/xdg.h"
#include "platform/shell/shell.h"
#include "platform/shell/start.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace shell {

namespace {

// The desktop's tools answer at once; one that hangs must not hold the
// player's window for longer than this.
constexpr int kPatienceMs = 10000;

struct Run {
    bool finished = false; // ended by itself within the patience
    int status = -1; // its exit status
    std::string output; // its standard output, when asked for
};

// Starts PATH with ARGV in DIRECTORY, its standard output to OUT when OUT is
// not -1; stderr stays ours, so the tool's own complaint reaches the user.
// Gives the posix_spawn error, 0 on success.
int spawn(const std::string& path, std::vector<char*>& argv, const std::string& directory, int out, pid_t& pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    // The player's own descriptors (audio devices, files) stay with the player.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // What it starts belongs to the desktop session, not to our terminal.
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error;
}

// Reads OUT (when not -1) into RUN's output until it closes and watches the
// process PID end, both within the patience; one that outlasts it is killed.
void awaitEnd(pid_t pid, int out, Run& run)
{
    const int exited = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    bool reading = out >= 0, ended = exited < 0; // without a pidfd: wait below
    while (reading || !ended) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                  .count();
        if (left <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd fds[2] = {{reading ? out : -1, POLLIN, 0}, {ended ? -1 : exited, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR)
            break;
        if (fds[0].revents) {
            char buffer[4096];
            const ssize_t n = ::read(out, buffer, sizeof buffer);
            if (n > 0)
                run.output.append(buffer, size_t(n));
            else if (n == 0 || errno != EINTR)
                reading = false;
        }
        if (fds[1].revents)
            ended = true;
    }
    if (exited >= 0)
        ::close(exited);
}

// Runs PATH with ARGUMENTS (the first is its name) in DIRECTORY and waits for
// it, keeping its standard output when CAPTURE.
Run runWaiting(
    const std::string& path, const std::vector<std::string>& arguments, const std::string& directory, bool capture)
{
    Run run;
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int out[2] = {-1, -1};
    if (capture && ::pipe2(out, O_CLOEXEC) != 0)
        return run;
    pid_t pid = 0;
    const int error = spawn(path, argv, directory, out[1], pid);
    if (capture)
        ::close(out[1]);
    if (error != 0) {
        if (capture)
            ::close(out[0]);
        return run;
    }
    awaitEnd(pid, out[0], run);
    if (capture)
        ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    run.finished = WIFEXITED(status);
    run.status = run.finished ? WEXITSTATUS(status) : -1;
    return run;
}

std::string trimmed(std::string text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The output of a tool that ran well, else nothing.
std::string answer(const std::string& tool, const std::vector<std::string>& arguments)
{
    const std::string path = base::process::findInPath(tool);
    if (path.empty())
        return {};
    std::vector<std::string> argv {tool};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const Run run = runWaiting(path, argv, {}, true);
    return run.finished && run.status == 0 ? run.output : std::string();
}

std::string typeByGio(const std::string& document)
{
    std::istringstream lines(answer("gio", {"info", "-a", "standard::content-type", "--", document}));
    const std::string key = "standard::content-type:";
    for (std::string line; std::getline(lines, line);) {
        if (const auto at = line.find(key); at != std::string::npos)
            return trimmed(line.substr(at + key.size()));
    }
    return {};
}

// Where the desktop keeps the entry ID: "a-b.desktop" may also be
// "a/b.desktop" below an applications folder.
std::string desktopFileOf(const std::string& id)
{
    std::vector<std::string> folders {base::xdg::dataHome()};
    for (const std::string& dir : base::xdg::dataDirs())
        folders.push_back(dir);
    for (const std::string& folder : folders) {
        std::string relative = id;
        for (size_t dash = 0;; ++dash) {
            const std::string path = folder + "/applications/" + relative;
            struct stat st;
            if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                return path;
            dash = relative.find('-', dash);
            if (dash == std::string::npos)
                break;
            relative[dash] = '/';
        }
    }
    return {};
}

// The applications "gio mime TYPE" names: the default, then the registered
// and the recommended ones, each once, by their desktop entry ids.
struct MimeApplications {
    std::string byDefault; // empty: the type has none
    std::vector<std::string> ids; // the default first
};

MimeApplications applicationsInGioMime(const std::string& output)
{
    // The headings are in the user's language; the ids are not. The default
    // ends the first line, the others stand on lines of their own, indented.
    MimeApplications found;
    std::istringstream lines(output);
    bool first = true;
    for (std::string line; std::getline(lines, line); first = false) {
        std::string id;
        if (!line.empty() && (line[0] == '\t' || line[0] == ' '))
            id = trimmed(line);
        else if (const auto colon = line.rfind(": "); first && colon != std::string::npos)
            found.byDefault = id = trimmed(line.substr(colon + 2));
        if (id.ends_with(".desktop") && std::find(found.ids.begin(), found.ids.end(), id) == found.ids.end())
            found.ids.push_back(id);
    }
    return found;
}

// The Categories of the desktop entry in FILE.
std::vector<std::string> categoriesOf(const std::string& file)
{
    std::ifstream in(file);
    std::vector<std::string> categories;
    bool inEntry = false;
    for (std::string line; std::getline(in, line);) {
        line = trimmed(line);
        const auto equals = line.find('=');
        if (line.starts_with('['))
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && equals != std::string::npos && trimmed(line.substr(0, equals)) == "Categories") {
            std::istringstream list(line.substr(equals + 1));
            for (std::string category; std::getline(list, category, ';');)
                if (!trimmed(category).empty())
                    categories.push_back(trimmed(category));
        }
    }
    return categories;
}

bool hasAny(const std::vector<std::string>& categories, std::initializer_list<const char*> wanted)
{
    return std::any_of(categories.begin(), categories.end(), [&](const std::string& category) {
        return std::any_of(wanted.begin(), wanted.end(), [&](const char* w) { return category == w; });
    });
}

// Whether the application whose entry is in FILE edits what it opens. Its
// categories tell: sound and video editors say AudioVideoEditing, MIDI
// editors Sequencer. The type's default also counts when it is no audio or
// video application at all, someone's own choice the categories cannot judge;
// an audio or video application that does not say it edits is a player, which
// would only play the file and end.
bool edits(const std::string& file, bool isDefault)
{
    const std::vector<std::string> categories = categoriesOf(file);
    if (hasAny(categories, {"AudioVideoEditing", "Sequencer"}))
        return true;
    return isDefault && !hasAny(categories, {"AudioVideo", "Audio", "Video", "Player", "TV", "Recorder"});
}

int noneLeft(const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    return ErrNoAssociation;
}

std::string noEditor(const std::string& type)
{
    return "no application of the desktop edits " + type + " (players do not count)";
}

int openByGio(const std::string& gio, const std::string& excluded, const std::vector<std::string>& documents,
    const std::string& directory)
{
    const std::string type = typeByGio(documents.front());
    if (type.empty())
        return noneLeft("cannot tell what kind of file " + documents.front() + " is");
    const MimeApplications applications = applicationsInGioMime(answer("gio", {"mime", type}));
    for (const std::string& id : applications.ids) {
        if (id == excluded)
            continue;
        const std::string entry = desktopFileOf(id);
        if (entry.empty() || !edits(entry, id == applications.byDefault))
            continue;
        std::vector<std::string> argv {"gio", "launch", entry};
        argv.insert(argv.end(), documents.begin(), documents.end());
        // gio ends once the application runs; an entry it cannot start
        // (a program gone, a broken entry) leaves the next one to try.
        const Run run = runWaiting(gio, argv, directory, false);
        if (run.finished && run.status == 0)
            return Started;
    }
    return noneLeft(noEditor(type));
}

// xdg-mime names the type's default only; xdg-open then opens with it.
int openByXdgMime(const std::string& excluded, const std::vector<std::string>& documents, const std::string& directory)
{
    const std::string type = trimmed(answer("xdg-mime", {"query", "filetype", documents.front()}));
    if (type.empty())
        return noneLeft("cannot tell what kind of file " + documents.front() + " is");
    const std::string id = trimmed(answer("xdg-mime", {"query", "default", type}));
    const std::string entry = id.empty() || id == excluded ? std::string() : desktopFileOf(id);
    if (entry.empty() || !edits(entry, true))
        return noneLeft(noEditor(type));
    const int result = startFirstInstalled({{"xdg-open", {}}}, documents, directory);
    return result == ErrFileNotFound ? noneLeft("xdg-open is not installed") : result;
}

} // namespace

int openWithEditorOtherThan(
    const std::string& excluded, const std::vector<std::string>& documents, const std::string& directory)
{
    if (documents.empty())
        return ErrFileNotFound;
    if (const std::string gio = base::process::findInPath("gio"); !gio.empty())
        return openByGio(gio, excluded, documents, directory);
    if (!base::process::findInPath("xdg-mime").empty())
        return openByXdgMime(excluded, documents, directory);
    return ErrFileNotFound;
}

} // namespace shell
