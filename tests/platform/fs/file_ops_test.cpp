#include "platform/fs/kernel.h"

#include "tests/platform/fs/write_failures.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using testing_support::readFile;
using testing_support::TempDir;

namespace {

std::vector<std::string> namesIn(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

dev_t deviceOf(const std::filesystem::path& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_dev;
}

// A folder on another file system than the test folders, if there is one.
std::filesystem::path otherFileSystem()
{
    const auto tmp = std::filesystem::temp_directory_path();
    for (const char* candidate : {"/dev/shm", "/run/user", "/run"}) {
        if (::access(candidate, W_OK) == 0 && deviceOf(candidate) != deviceOf(tmp))
            return candidate;
    }
    return {};
}

class ForeignDir {
public:
    explicit ForeignDir(const std::filesystem::path& root)
    {
        std::string pattern = (root / "quorvana-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~ForeignDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace

TEST(CopyFile, CopiesContentModeAndTimes)
{
    TempDir dir;
    const std::string bytes("RIFF\0\0\0\0WAVEdata\xff", 17);
    const auto from = dir.write("a b.wav", bytes);
    ::chmod(from.c_str(), 0751);
    const struct timespec old[2] = {{1000000, 0}, {1000000, 0}};
    ::utimensat(AT_FDCWD, from.c_str(), old, 0);

    const auto to = (dir / "copy.wav").string();
    const mode_t mask = ::umask(022);
    const bool copied = kernel::copyFile(from, to).ok();
    ::umask(mask);
    ASSERT_TRUE(copied);
    EXPECT_EQ(readFile(to), bytes);
    struct stat st {};
    ::stat(to.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0751u & ~0022u); // like a new file: the umask applies
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"a b.wav", "copy.wav"}));
}

TEST(CopyFile, NeverReplacesAndLeavesNothingOnFailure)
{
    TempDir dir;
    const auto from = dir.write("a.mid", "song");
    const auto existing = dir.write("b.mid", "precious");

    kernel::Status s = kernel::copyFile(from, existing);
    EXPECT_TRUE(s.targetExists());
    EXPECT_EQ(readFile(existing), "precious");

    s = kernel::copyFile(from, from);
    EXPECT_TRUE(s.targetExists());
    EXPECT_EQ(readFile(from), "song");

    s = kernel::copyFile((dir / "missing.mid").string(), (dir / "c.mid").string());
    EXPECT_EQ(s.error, ENOENT);
    EXPECT_EQ(s.text(), "No such file or directory");
    EXPECT_EQ(kernel::copyFile(from, (dir / "no/such/folder.mid").string()).error, ENOENT);
    EXPECT_EQ(kernel::copyFile(dir.str(), (dir / "d.mid").string()).error, EISDIR);

    {
        // The disk fills up half-way through the copy.
        const auto big = dir.write("big.wav", std::string(100000, 'x'));
        testing_support::FileSizeLimit limit(4096);
        EXPECT_EQ(kernel::copyFile(big, (dir / "e.wav").string()).error, EFBIG);
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"a.mid", "b.mid", "big.wav"}));
}

TEST(CopyFile, ReadOnlyTargetFolderIsReported)
{
    TempDir dir;
    ::chmod(dir.str().c_str(), 0755);
    const auto from = dir.write("a.mid", "song");
    ::chmod(from.c_str(), 0644);
    std::filesystem::create_directory(dir / "ro");
    ::chmod((dir / "ro").c_str(), 0555);
    testing_support::AsUnprivileged user;
    const kernel::Status s = kernel::copyFile(from, (dir / "ro/a.mid").string());
    EXPECT_EQ(s.error, EACCES);
    EXPECT_FALSE(s.targetExists());
    EXPECT_EQ(s.text(), "Permission denied");
}

TEST(MoveFile, RenamesWithoutReplacing)
{
    TempDir dir;
    const auto from = dir.write("a.wav", "sound");
    const auto existing = dir.write("b.wav", "precious");
    std::filesystem::create_directory(dir / "sub");

    EXPECT_TRUE(kernel::moveFile(from, existing).targetExists());
    EXPECT_TRUE(kernel::moveFile(from, from).targetExists());
    EXPECT_EQ(readFile(from), "sound");
    EXPECT_EQ(readFile(existing), "precious");

    ASSERT_TRUE(kernel::moveFile(from, (dir / "sub/c.wav").string()).ok());
    EXPECT_FALSE(std::filesystem::exists(from));
    EXPECT_EQ(readFile(dir / "sub/c.wav"), "sound");
    EXPECT_EQ(kernel::moveFile(from, (dir / "d.wav").string()).error, ENOENT);
}

TEST(MoveFile, AcrossFileSystemsCopiesThenRemovesTheSource)
{
    const auto other = otherFileSystem();
    if (other.empty())
        GTEST_SKIP() << "no second file system to move to";
    TempDir dir;
    ForeignDir foreign(other);
    ASSERT_FALSE(foreign.path().empty());
    const std::string bytes(300000, 'm');
    const auto from = dir.write("a.avi", bytes);
    const auto existing = (foreign.path() / "taken.avi").string();
    { std::ofstream(existing) << "precious"; }

    EXPECT_TRUE(kernel::moveFile(from, existing).targetExists());
    EXPECT_EQ(readFile(existing), "precious");
    EXPECT_EQ(readFile(from), bytes);

    const auto to = (foreign.path() / "a.avi").string();
    ASSERT_TRUE(kernel::moveFile(from, to).ok());
    EXPECT_FALSE(std::filesystem::exists(from));
    EXPECT_EQ(readFile(to), bytes);

    // The source cannot be removed: the move is undone, the source stays whole.
    ::chmod(dir.str().c_str(), 0755);
    const auto stuck = dir.write("ro/b.avi", bytes);
    ::chmod(stuck.c_str(), 0644);
    ::chmod((dir / "ro").c_str(), 0555);
    ::chmod(foreign.path().c_str(), 0777);
    {
        testing_support::AsUnprivileged user;
        EXPECT_EQ(kernel::moveFile(stuck, (foreign.path() / "b.avi").string()).error, EACCES);
    }
    EXPECT_EQ(readFile(stuck), bytes);
    EXPECT_FALSE(std::filesystem::exists(foreign.path() / "b.avi"));
}

TEST(DeleteFile, RemovesOrSaysWhy)
{
    TempDir dir;
    const auto file = dir.write("a.mid", "x");
    EXPECT_TRUE(kernel::deleteFile(file).ok());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(kernel::deleteFile(file).error, ENOENT);
}

TEST(WholeFileWrites, CreateNeverReplacesAtomicWriteKeepsMode)
{
    TempDir dir;
    const auto file = (dir / "QUORVAGM.MI_").string();
    ASSERT_TRUE(kernel::createFile(file, "MThd").ok());
    EXPECT_TRUE(kernel::createFile(file, "other").targetExists());
    EXPECT_EQ(readFile(file), "MThd");

    ::chmod(file.c_str(), 0604);
    ASSERT_TRUE(kernel::writeFileAtomically(file, "new").ok());
    EXPECT_EQ(readFile(file), "new");
    struct stat st {};
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"QUORVAGM.MI_"});
}
