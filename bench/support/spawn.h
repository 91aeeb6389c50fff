#pragma once
// Starts a program for a benchmark to watch from outside: ARGS as its
// argument vector, ENV in front of ours (so it wins), in DIR if given, its
// standard error thrown away when QUIET. Returns its pid, or -1.
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench_support {

inline pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const std::filesystem::path& dir = {}, bool quiet = false)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> vars = env;
    for (char** e = environ; *e; ++e)
        vars.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& v : vars)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!dir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace bench_support
