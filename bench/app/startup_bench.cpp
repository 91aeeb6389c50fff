// Start-up as the user sees it: from exec of the player to the first map of
// its main window on an X server of our own, against a bare Qt window
// program measured the same way, turn about, in the same run. The map is
// watched from outside, over X, so the player carries no code for this.
#include "bench/support/spawn.h"

#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The main window's fixed size; the bare window takes the same.
constexpr int kWidth = 483;
constexpr int kHeight = 277;
const char* const kDisplay = ":97";

using bench_support::spawn;

void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// An Xvfb of our own; ready once it has written its display number.
class XServer {
public:
    XServer()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid_ = spawn({"/usr/bin/Xvfb", kDisplay, "-nolisten", "tcp", "-screen", "0", "1024x768x24", "-displayfd",
                      std::to_string(fds[1])},
                     {});
        close(fds[1]);
        char buf[16];
        ready_ = pid_ > 0 && read(fds[0], buf, sizeof buf) > 0;
        close(fds[0]);
    }
    ~XServer() { stop(pid_); }
    bool ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Sees every top-level window mapped on the display.
class MapWatcher {
public:
    MapWatcher()
    {
        c_ = xcb_connect(kDisplay, nullptr);
        if (xcb_connection_has_error(c_))
            return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_);
    }
    ~MapWatcher() { xcb_disconnect(c_); }
    bool ok() const { return !xcb_connection_has_error(c_); }

    // Blocks until a window of the main window's size is mapped; false
    // after TIMEOUT_MS without one.
    bool waitForMap(int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
                const bool found = (e->response_type & 0x7f) == XCB_MAP_NOTIFY
                                   && hasMainSize(reinterpret_cast<xcb_map_notify_event_t*>(e)->window);
                free(e);
                if (found)
                    return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ok())
                return false;
            pollfd p{xcb_get_file_descriptor(c_), POLLIN, 0};
            poll(&p, 1, static_cast<int>(left.count()));
        }
    }

private:
    bool hasMainSize(xcb_window_t w)
    {
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr);
        const bool match = g && g->width == kWidth && g->height == kHeight;
        free(g);
        return match;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
};

long residentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

struct Start {
    double ms = -1;
    long rssKb = -1;
};

Start timeToMap(MapWatcher& watcher, const std::string& program, const fs::path& home)
{
    const std::vector<std::string> env{std::string("DISPLAY=") + kDisplay, "QT_QPA_PLATFORM=xcb",
                                       "SDL_AUDIODRIVER=dummy", "HOME=" + home.string(),
                                       "XDG_CONFIG_HOME=" + (home / ".config").string(),
                                       "XDG_CACHE_HOME=" + (home / ".cache").string()};
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = spawn({program}, env, home);
    Start s;
    if (pid > 0 && watcher.waitForMap(10000)) {
        s.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        s.rssKb = residentKb(pid);
    }
    stop(pid);
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void BM_StartToMainWindowMap(benchmark::State& state)
{
    XServer server;
    if (!server.ready()) {
        state.SkipWithError("Xvfb did not start on :97");
        return;
    }
    MapWatcher watcher;
    if (!watcher.ok()) {
        state.SkipWithError("cannot watch the X server");
        return;
    }
    std::string pattern = (fs::temp_directory_path() / "quorvana-startup-XXXXXX").string();
    const fs::path home = mkdtemp(pattern.data());
    // One start of each first, so that neither pays for a cold disk cache.
    timeToMap(watcher, QUORVANA_PLAYER, home);
    timeToMap(watcher, QUORVANA_BARE_WINDOW, home);
    std::vector<double> player, bare;
    long rss = 0;
    for (auto _ : state) {
        const Start p = timeToMap(watcher, QUORVANA_PLAYER, home);
        const Start b = timeToMap(watcher, QUORVANA_BARE_WINDOW, home);
        if (p.ms < 0 || b.ms < 0) {
            state.SkipWithError("a window was not mapped within 10 s");
            break;
        }
        player.push_back(p.ms);
        bare.push_back(b.ms);
        rss = p.rssKb;
        state.SetIterationTime(p.ms / 1000.0);
    }
    fs::remove_all(home);
    if (player.empty())
        return;
    state.counters["player_ms"] = median(player);
    state.counters["bare_window_ms"] = median(bare);
    state.counters["x_floor"] = median(player) / median(bare);
    state.counters["rss_MB"] = static_cast<double>(rss) / 1024.0;
}
BENCHMARK(BM_StartToMainWindowMap)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
