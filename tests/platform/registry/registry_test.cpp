#include "platform/registry/registry.h"

#include "platform/fs/system_info.h"
#include "tests/support/fifo.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace registry;
using testing_support::readFile;
using testing_support::TempDir;

namespace {

class Registry : public testing::Test {
protected:
    void SetUp() override
    {
        store_ = testing_support::useStoresIn(dir_.path(), dir_ / "store" / "registry.reg");
    }

    HKEY create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS)
    {
        HKEY key = 0;
        EXPECT_EQ(RegCreateKeyExA(root, path, 0, "", 0, access, nullptr, &key, nullptr), ERROR_SUCCESS) << path;
        return key;
    }

    static LONG set(HKEY key, const char* name, DWORD type, const std::string& data)
    {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
    }

    static std::optional<std::string> get(HKEY key, const char* name, DWORD* type = nullptr)
    {
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        std::string data(size, '\0');
        if (RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
            return std::nullopt;
        data.resize(size);
        return data;
    }

    TempDir dir_;
    std::string store_;
};

std::string sz(const std::string& text)
{
    return text + '\0';
}

pid_t spawnSelf(const std::string& filter, const std::vector<std::string>& extraEnv, int progressFd = -1)
{
    std::vector<std::string> env(extraEnv);
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = kernel::moduleFileName();
    std::string arg = "--gtest_filter=" + filter;
    char* argv[] = {exe.data(), arg.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (progressFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, progressFd, 3);
    else
        posix_spawn_file_actions_addopen(&actions, 3, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

// Run by the tests below in a process of its own; skipped otherwise.
TEST(RegistryChild, WritesValues)
{
    const char* storeFile = std::getenv("QUORVANA_TEST_STORE");
    if (!storeFile)
        GTEST_SKIP() << "runs only as a child of the concurrency tests";
    setenv("QUORVANA_REGISTRY", storeFile, 1);
    const std::string prefix = std::getenv("QUORVANA_TEST_PREFIX");
    const int count = std::atoi(std::getenv("QUORVANA_TEST_COUNT"));
    const std::string filler(std::atoi(std::getenv("QUORVANA_TEST_FILLER")), 'f');
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Race", 0, "", 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    for (int i = 0; i < count; ++i) {
        const std::string name = prefix + std::to_string(i);
        const std::string data = filler + name + '\0';
        ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        if (::write(3, "+", 1) < 0 && errno != EBADF)
            break;
    }
    RegCloseKey(key);
}

TEST_F(Registry, OpenCreateAndCloseGiveTheWindowsResults)
{
    HKEY key = 0x1234;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quorvana", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, 0u);

    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quorvana", 0, "", 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\quorvana\\", 0, "", 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    // Relative opens, the root itself, and roots that close without complaint.
    HKEY sub = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software", 0, KEY_READ, &sub), ERROR_SUCCESS);
    HKEY again = 0;
    EXPECT_EQ(RegOpenKeyExA(sub, "QUORVANA", 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(sub, nullptr, 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_NE(again, sub);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);

    // Bad handles, paths and arguments.
    for (HKEY bad : {HKEY(0), HKEY(0x1235), HKEY_PERFORMANCE_DATA}) {
        EXPECT_EQ(RegOpenKeyExA(bad, "x", 0, KEY_READ, &again), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExA(bad, "x", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(set(bad, "x", REG_SZ, sz("x")), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "\\Lead", 0, "", 0, KEY_ALL_ACCESS, nullptr, &again, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &again), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, nullptr, 0, "", 0, KEY_ALL_ACCESS, nullptr, &again, nullptr),
              ERROR_INVALID_PARAMETER);
    const std::string longName(256, 'n');
    EXPECT_EQ(RegCreateKeyExA(key, longName.c_str(), 0, "", 0, KEY_ALL_ACCESS, nullptr, &again, nullptr),
              ERROR_INVALID_PARAMETER);

    // A path of a thousand characters made of names the registry allows works.
    std::string thousand;
    while (thousand.size() < 1000)
        thousand += "segment" + std::to_string(thousand.size()) + "\\";
    HKEY deep = create(key, thousand.c_str());
    EXPECT_EQ(set(deep, "v", REG_SZ, sz("deep")), ERROR_SUCCESS);
    EXPECT_EQ(get(deep, "V"), sz("deep"));
    RegCloseKey(deep);
    RegCloseKey(key);
    RegCloseKey(sub);
}

TEST_F(Registry, ValuesAreQueriedLikeWindowsDoes)
{
    HKEY key = create(HKEY_CURRENT_USER, "Values");
    ASSERT_EQ(set(key, "Text", REG_SZ, sz("abc")), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "TEXT", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 4u);

    BYTE small[2] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);

    BYTE big[8];
    std::memset(big, 'x', sizeof big);
    size = sizeof big;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, big, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(big), 4), sz("abc"));

    // A string stored without its zero gets one when the buffer has room.
    ASSERT_EQ(set(key, "Bare", REG_SZ, "xy"), ERROR_SUCCESS);
    std::memset(big, 'x', sizeof big);
    size = sizeof big;
    EXPECT_EQ(RegQueryValueExA(key, "Bare", nullptr, &type, big, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(big[2], 0);

    // The default value answers to a null and to an empty name, and is absent until set.
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(set(key, "", REG_SZ, sz("")), ERROR_SUCCESS);
    EXPECT_EQ(get(key, nullptr), sz(""));
    ASSERT_EQ(set(key, nullptr, REG_DWORD, std::string("\xff\xff\xff\xff", 4)), ERROR_SUCCESS);
    EXPECT_EQ(get(key, "", &type), std::string("\xff\xff\xff\xff", 4));
    EXPECT_EQ(type, REG_DWORD);

    // Zero-length data, names with backslashes, and bad arguments.
    EXPECT_EQ(RegSetValueExA(key, "Nothing", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(get(key, "Nothing"), std::string());
    EXPECT_EQ(RegSetValueExA(key, "Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(set(key, "a\\b\\\\c", REG_SZ, sz("slashes")), ERROR_SUCCESS);
    EXPECT_EQ(get(key, "A\\B\\\\C"), sz("slashes"));
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Text", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, big, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(set(key, std::string(kMaxValueNameLength + 1, 'n').c_str(), REG_SZ, sz("x")),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Registry, HandlesKeepTheAccessTheyWereOpenedWith)
{
    HKEY writable = create(HKEY_CURRENT_USER, "Rights");
    ASSERT_EQ(set(writable, "v", REG_SZ, sz("old")), ERROR_SUCCESS);
    HKEY readOnly = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Rights", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    EXPECT_EQ(set(readOnly, "v", REG_SZ, sz("new")), ERROR_ACCESS_DENIED);
    HKEY child = 0;
    EXPECT_EQ(RegCreateKeyExA(readOnly, "Child", 0, "", 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_ACCESS_DENIED);
    HKEY writeOnly = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Rights", 0, KEY_SET_VALUE, &writeOnly), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(writeOnly, "v", nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(get(writable, "v"), sz("old"));
    RegCloseKey(writable);
    RegCloseKey(readOnly);
    RegCloseKey(writeOnly);
}

TEST_F(Registry, DynDataIsEmptyAndReadOnly)
{
    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "", 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "PerfStats", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCreateKeyExA(HKEY_DYN_DATA, "PerfStats", 0, "", 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(set(HKEY_DYN_DATA, "x", REG_SZ, sz("x")), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(std::filesystem::exists(store_));
}

TEST_F(Registry, StoreIsRegedit4TextThatOtherWritersMayChange)
{
    HKEY key = create(HKEY_CLASSES_ROOT, ".wav");
    ASSERT_EQ(set(key, nullptr, REG_SZ, sz("")), ERROR_SUCCESS);
    ASSERT_EQ(set(key, "Size", REG_DWORD, std::string("\x10\0\0\0", 4)), ERROR_SUCCESS);
    const std::string text = readFile(store_);
    ASSERT_NE(text.find("\"Size\"=dword:00000010\n"), std::string::npos);

    // Another process replaces the store: the next call sees its content.
    std::string changed = text;
    changed.replace(changed.find("dword:00000010"), 14, "dword:00000020");
    {
        TempDir scratch;
        const std::string temp = scratch.write("new.reg", changed);
        ASSERT_EQ(std::rename(temp.c_str(), store_.c_str()), 0);
    }
    EXPECT_EQ(get(key, "size"), std::string("\x20\0\0\0", 4));

    // A megabyte in one value goes through and comes back whole.
    std::string megabyte(1 << 20, '\0');
    for (std::size_t i = 0; i < megabyte.size(); ++i)
        megabyte[i] = static_cast<char>(i * 7);
    ASSERT_EQ(set(key, "Big", REG_BINARY, megabyte), ERROR_SUCCESS);
    EXPECT_EQ(get(key, "big"), megabyte);
    EXPECT_EQ(RegSetValueExA(key, "Huge", 0, REG_BINARY, reinterpret_cast<const BYTE*>(megabyte.data()),
                             kMaxValueSize + 1),
              ERROR_NOT_ENOUGH_MEMORY);
    RegCloseKey(key);
}

TEST_F(Registry, UnreadableStoreIsReportedAndNeverReplaced)
{
    HKEY key = create(HKEY_CURRENT_USER, "Keep");
    ASSERT_EQ(set(key, "v", REG_SZ, sz("precious")), ERROR_SUCCESS);
    const std::string good = readFile(store_);
    const std::string variants[] = {
        "\x89PNG\r\n\x1a\n not a registry at all",
        good.substr(0, good.size() / 2),
        good.substr(0, good.find("[HKEY_CURRENT_USER\\Keep]")),
        std::string(),
    };
    for (const std::string& broken : variants) {
        {
            TempDir scratch;
            ASSERT_EQ(std::rename(scratch.write("bad.reg", broken).c_str(), store_.c_str()), 0);
        }
        HKEY other = 0;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Keep", 0, KEY_READ, &other), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "New", 0, "", 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, nullptr), ERROR_BADDB);
        EXPECT_EQ(set(key, "v", REG_SZ, sz("overwritten")), ERROR_BADDB);
        EXPECT_EQ(readFile(store_), broken);
    }
    RegCloseKey(key);
}

TEST_F(Registry, APipeOrAnOversizedStoreIsAnErrorAndNeverReplaced)
{
    HKEY key = create(HKEY_CURRENT_USER, "Keep");
    RegCloseKey(key);
    ASSERT_EQ(std::remove(store_.c_str()), 0);
    testing_support::makeFifo(store_);
    EXPECT_TRUE(testing_support::returnsWithoutWaitingOn(store_, [&] {
        HKEY other = 0;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Keep", 0, KEY_READ, &other), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "New", 0, "", 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
                  ERROR_BADDB);
    }));
    EXPECT_TRUE(std::filesystem::is_fifo(store_));

    ASSERT_EQ(std::remove(store_.c_str()), 0);
    const std::string huge = "REGEDIT4\n\n" + std::string(16 << 20, ';') + "\n; end\n";
    {
        TempDir scratch;
        ASSERT_EQ(std::rename(scratch.write("huge.reg", huge).c_str(), store_.c_str()), 0);
    }
    HKEY other = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Keep", 0, KEY_READ, &other), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "New", 0, "", 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(std::filesystem::file_size(store_), huge.size());
}

// A write that would take the store past what can be read back is refused,
// and the store stays readable with what it held.
TEST_F(Registry, AWriteThatWouldOutgrowTheStoreIsRefusedAndTheStoreKept)
{
    HKEY key = create(HKEY_CURRENT_USER, "Big");
    ASSERT_EQ(set(key, "half", REG_SZ, std::string(10 << 20, 'a') + '\0'), ERROR_SUCCESS);
    const std::string before = readFile(store_);
    EXPECT_EQ(set(key, "more", REG_SZ, std::string(7 << 20, 'b') + '\0'), ERROR_NO_SYSTEM_RESOURCES);
    EXPECT_EQ(readFile(store_), before);
    EXPECT_TRUE(get(key, "half"));
    EXPECT_FALSE(get(key, "more"));
    RegCloseKey(key);
}

TEST_F(Registry, ReadOnlyStoreRefusesWritesAndStaysAsItWas)
{
    HKEY key = create(HKEY_CURRENT_USER, "Locked");
    ASSERT_EQ(set(key, "v", REG_SZ, sz("kept")), ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string before = readFile(store_);
    ASSERT_EQ(chmod(store_.c_str(), 0444), 0);

    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Locked", 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Locked", 0, "", 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Other", 0, "", 0, KEY_READ, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Locked", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(get(key, "v"), sz("kept"));
    RegCloseKey(key);
    EXPECT_EQ(readFile(store_), before);
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kEach = 60;
    const std::vector<std::string> common = {"QUORVANA_TEST_STORE=" + store_,
                                             "QUORVANA_TEST_COUNT=" + std::to_string(kEach),
                                             "QUORVANA_TEST_FILLER=2000"};
    auto withPrefix = [&](const char* prefix) {
        auto env = common;
        env.push_back(std::string("QUORVANA_TEST_PREFIX=") + prefix);
        return env;
    };
    const pid_t a = spawnSelf("RegistryChild.WritesValues", withPrefix("a"));
    const pid_t b = spawnSelf("RegistryChild.WritesValues", withPrefix("b"));
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(waitFor(a), 0);
    EXPECT_EQ(waitFor(b), 0);

    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Race", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const char* prefix : {"a", "b"}) {
        for (int i = 0; i < kEach; ++i) {
            const std::string name = prefix + std::to_string(i);
            EXPECT_EQ(get(key, name.c_str()), std::string(2000, 'f') + name + '\0') << name;
        }
    }
    RegCloseKey(key);
}

TEST_F(Registry, WriterKilledMidWayLeavesTheStoreWhole)
{
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    const pid_t child = spawnSelf("RegistryChild.WritesValues",
                                  {"QUORVANA_TEST_STORE=" + store_, "QUORVANA_TEST_COUNT=200",
                                   "QUORVANA_TEST_FILLER=200000", "QUORVANA_TEST_PREFIX=k"},
                                  progress[1]);
    close(progress[1]);
    ASSERT_GT(child, 0);
    // Killed in the middle of its next write, whatever happens here.
    struct Reaper {
        pid_t pid;
        int fd;
        ~Reaper()
        {
            kill(pid, SIGKILL);
            waitFor(pid);
            close(fd);
        }
    } reaper{child, progress[0]};
    char mark[8];
    int written = 0;
    while (written < 8) {
        const ssize_t n = read(progress[0], mark, sizeof mark - static_cast<std::size_t>(written));
        ASSERT_GT(n, 0) << "the writer stopped early";
        written += static_cast<int>(n);
    }
    kill(child, SIGKILL);

    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Race", 0, KEY_READ, &key), ERROR_SUCCESS);
    int present = 0;
    while (get(key, ("k" + std::to_string(present)).c_str()))
        ++present;
    EXPECT_GE(present, written);
    EXPECT_FALSE(get(key, ("k" + std::to_string(present + 1)).c_str()));
    RegCloseKey(key);
}
