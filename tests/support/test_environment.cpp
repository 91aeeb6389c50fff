#include "tests/support/test_environment.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace testing_support {

std::filesystem::path enterTestEnvironment()
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
        return {};
    const std::filesystem::path root(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    setenv("QUORVANA_WINDIR", (root / "windir").c_str(), 1);
    setenv("QUORVANA_REGISTRY", (root / "registry.reg").c_str(), 1);
    return root;
}

} // namespace testing_support
