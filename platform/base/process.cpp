#include "platform/base/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace base::process {

namespace {

// The strings stay owned by ARGUMENTS, which outlives the exec.
std::vector<char*> argumentVector(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

int waitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

// The second child of a detached start; never returns. Only async-signal-safe
// calls here: the player has threads, and another one may have held a lock
// at the moment of the fork.
[[noreturn]] void execInChild(const char* path, char* const* argv, const char* directory, int report)
{
    ::setsid();
    struct sigaction dfl { };
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // The player's own descriptors (audio devices, files) stay with the player.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    if (const int null = ::open("/dev/null", O_RDONLY); null >= 0 && null != 0) {
        ::dup2(null, 0);
        ::close(null);
    }
    if (*directory && ::chdir(directory) != 0) {
        const int e = errno == ENOENT ? ENOTDIR : errno;
        (void)!::write(report, &e, sizeof e);
        ::_exit(127);
    }
    ::execve(path, argv, environ);
    const int e = errno;
    (void)!::write(report, &e, sizeof e);
    ::_exit(127);
}

} // namespace

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

int startDetached(const std::string& path, const std::vector<std::string>& arguments, const std::string& directory)
{
    // Everything the child needs is made before the fork: it may not allocate.
    const std::vector<char*> argv = argumentVector(arguments);

    // The start's errno travels back through this pipe; a successful exec
    // closes it (close-on-exec) and we read end-of-file.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return errno;
    const pid_t child = ::fork();
    if (child < 0) {
        const int e = errno;
        ::close(report[0]);
        ::close(report[1]);
        return e;
    }
    if (child == 0) {
        // This child only forks the program and ends at once, so the program
        // is adopted by init and leaves no zombie behind.
        const pid_t program = ::fork();
        if (program == 0)
            execInChild(path.c_str(), argv.data(), directory.c_str(), report[1]);
        if (program < 0) {
            const int e = errno;
            (void)!::write(report[1], &e, sizeof e);
        }
        ::_exit(0);
    }

    ::close(report[1]);
    waitFor(child);
    int error = 0;
    ssize_t n;
    while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) { }
    ::close(report[0]);
    return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

int runAndWait(const std::string& path, const std::vector<std::string>& arguments)
{
    const std::vector<char*> argv = argumentVector(arguments);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return -1;
    const int status = waitFor(pid);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Linux's niceness is the thread's own, and its new threads inherit it.
void yieldToOthers()
{
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
}

} // namespace base::process
