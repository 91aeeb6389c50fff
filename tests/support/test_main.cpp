// The shared main of every test binary: headless Qt, silent SDL audio and a
// private home for every setting, store and data folder the program touches.
#include "framework/application.h"
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Headless and silent wherever the suite is started, unless a test runs
    // under its own display and window manager (under_window_manager.sh).
    if (!std::getenv("QUORVANA_TEST_WINDOWS"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // Never the user's own session bus: a test that needs one runs under a
    // bus of its own (under_session_bus.sh).
    if (!std::getenv("QUORVANA_TEST_BUS"))
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);

    std::string home = (std::filesystem::temp_directory_path() / "quorvana-home-XXXXXX").string();
    if (!mkdtemp(home.data()))
        return 2;
    const std::filesystem::path root(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    setenv("QUORVANA_WINDIR", (root / "windir").c_str(), 1);
    setenv("QUORVANA_REGISTRY", (root / "registry.reg").c_str(), 1);

    ui::Application app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();

    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return rc;
}
