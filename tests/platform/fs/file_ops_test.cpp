#include "platform/fs/kernel.h"

#include "tests/platform/fs/write_failures.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using testing_support::readFile;
using testing_support::TempDir;

namespace {

size_t entriesIn(const std::filesystem::path& dir)
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

} // namespace

TEST(CopyFile, CopiesWholeOrNotAtAllAndNeverReplaces)
{
    TempDir dir;
    ::chmod(dir.str().c_str(), 0755);
    const std::string bytes("RIFF\0\0\0\0WAVE\xff", 13);
    const auto from = dir.write("a b.wav", bytes);
    ::chmod(from.c_str(), 0644);
    const auto existing = dir.write("taken.wav", "precious");
    ASSERT_TRUE(kernel::copyFile(from, (dir / "copy.wav").string()).ok());
    EXPECT_EQ(readFile(dir / "copy.wav"), bytes);

    EXPECT_TRUE(kernel::copyFile(from, existing).targetExists());
    EXPECT_TRUE(kernel::copyFile(from, from).targetExists());
    EXPECT_EQ(readFile(existing), "precious");
    EXPECT_EQ(readFile(from), bytes);

    const kernel::Status missing = kernel::copyFile((dir / "missing").string(), (dir / "x").string());
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(missing.text(), "No such file or directory");
    {
        testing_support::FileSizeLimit limit(4);
        EXPECT_EQ(kernel::copyFile(from, (dir / "x").string()).error, EFBIG);
    }
    std::filesystem::create_directory(dir / "ro");
    ::chmod((dir / "ro").c_str(), 0555);
    {
        testing_support::AsUnprivileged user;
        EXPECT_EQ(kernel::copyFile(from, (dir / "ro/x").string()).error, EACCES);
    }
    EXPECT_EQ(entriesIn(dir.path()), 4u) << "no partial or temporary file left";
    EXPECT_EQ(entriesIn(dir / "ro"), 0u);
}

TEST(MoveFile, RenamesWithoutReplacing)
{
    TempDir dir;
    const auto from = dir.write("a.wav", "sound");
    const auto existing = dir.write("b.wav", "precious");
    EXPECT_TRUE(kernel::moveFile(from, existing).targetExists());
    EXPECT_TRUE(kernel::moveFile(from, from).targetExists());
    EXPECT_EQ(readFile(existing), "precious");

    std::filesystem::create_directory(dir / "sub");
    ASSERT_TRUE(kernel::moveFile(from, (dir / "sub/c.wav").string()).ok());
    EXPECT_FALSE(std::filesystem::exists(from));
    EXPECT_EQ(readFile(dir / "sub/c.wav"), "sound");

    EXPECT_TRUE(kernel::deleteFile(existing).ok());
    EXPECT_EQ(kernel::deleteFile(existing).error, ENOENT);
}

TEST(MoveFile, AcrossFileSystemsRemovesTheSourceOnlyAfterAWholeCopy)
{
    struct stat shm {}, tmp {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(std::filesystem::temp_directory_path().c_str(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "no second file system to move to";
    TempDir dir;
    std::string foreign = "/dev/shm/quorvana-test-XXXXXX";
    ASSERT_TRUE(::mkdtemp(foreign.data()));
    const std::string bytes(300000, 'm');
    const auto from = dir.write("a.avi", bytes);
    std::ofstream(foreign + "/taken.avi") << "precious";

    EXPECT_TRUE(kernel::moveFile(from, foreign + "/taken.avi").targetExists());
    EXPECT_EQ(readFile(foreign + "/taken.avi"), "precious");
    EXPECT_TRUE(readFile(from) == bytes);
    ASSERT_TRUE(kernel::moveFile(from, foreign + "/a.avi").ok());
    EXPECT_FALSE(std::filesystem::exists(from));
    EXPECT_TRUE(readFile(foreign + "/a.avi") == bytes);

    // The source cannot be removed: the copy is taken back, the source stays.
    ::chmod(dir.str().c_str(), 0755);
    ::chmod(foreign.c_str(), 0777);
    const auto stuck = dir.write("ro/b.avi", bytes);
    ::chmod(stuck.c_str(), 0644);
    ::chmod((dir / "ro").c_str(), 0555);
    {
        testing_support::AsUnprivileged user;
        EXPECT_EQ(kernel::moveFile(stuck, foreign + "/b.avi").error, EACCES);
    }
    EXPECT_TRUE(readFile(stuck) == bytes);
    EXPECT_FALSE(std::filesystem::exists(foreign + "/b.avi"));
    std::filesystem::remove_all(foreign);
}

TEST(WholeFileWrites, CreateNeverReplacesAtomicWriteKeepsMode)
{
    TempDir dir;
    const auto file = (dir / "QUORVAGM.MI_").string();
    ASSERT_TRUE(kernel::createFile(file, "MThd").ok());
    EXPECT_TRUE(kernel::createFile(file, "other").targetExists());
    ::chmod(file.c_str(), 0604);
    ASSERT_TRUE(kernel::writeFileAtomically(file, "new").ok());
    EXPECT_EQ(readFile(file), "new");
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0604));
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}
