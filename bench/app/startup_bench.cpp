// Start-up: from starting the process to the first paint of the main window,
// and the resident memory at that moment. Each iteration starts the player
// afresh in a child process (the same start-up code as the program).
#include "app/startup.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

const char* const kChildFlag = "--startup-child";

// The child: the player's own start-up, reporting its resident memory
// through FD when the main window has been painted, then leaving at once.
int runChild(int fd, char* program)
{
    char* argv[] = {program, nullptr};
    return runPlayer(1, argv, [fd](QWidget*) {
        const std::string report = std::to_string(residentKb()) + "\n";
        (void)!write(fd, report.data(), report.size());
        _exit(0);
    });
}

void BM_StartupToFirstPaint(benchmark::State& state)
{
    long rss = 0;
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execl("/proc/self/exe", "quorvana-startup", kChildFlag, fd.c_str(), nullptr);
            _exit(127);
        }
        close(fds[1]);
        char buf[64] = {};
        const ssize_t n = read(fds[0], buf, sizeof buf - 1);
        const auto end = std::chrono::steady_clock::now();
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (n <= 0) {
            state.SkipWithError("the player did not paint (is DISPLAY or QT_QPA_PLATFORM set?)");
            return;
        }
        rss = std::strtol(buf, nullptr, 10);
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.counters["rss_MB"] = static_cast<double>(rss) / 1024.0;
}
BENCHMARK(BM_StartupToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == kChildFlag)
        return runChild(std::atoi(argv[2]), argv[0]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
