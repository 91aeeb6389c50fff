#include "platform/fs/file_ops.h"

#include "tests/platform/fs/write_failures.h"
#include "tests/support/fifo.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

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

// The target may appear after the copy has looked for it: the last step
// places the copy without replacing, so the other file is never lost.
TEST(CopyFile, ATargetThatAppearsDuringTheCopyIsKept)
{
    TempDir dir;
    const auto from = dir.write("big.wav", std::string(size_t {16} << 20, 'x'));
    const std::string to = (dir / "copy.wav").string();
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::ofstream(to, std::ios::binary) << "precious";
    });
    const kernel::Status copied = kernel::copyFile(from, to);
    other.join();
    EXPECT_TRUE(copied.targetExists()) << copied.text();
    EXPECT_EQ(readFile(to), "precious");
    EXPECT_EQ(entriesIn(dir.path()), 2u) << "no partial or temporary file left";
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

TEST(WholeFileReads, RefuseWhatIsNotARegularFileOrTooLargeUnread)
{
    TempDir dir;
    const auto fifo = testing_support::makeFifo((dir / "registry.reg").string());
    std::string out = "old";
    int error = 0;
    EXPECT_TRUE(testing_support::returnsWithoutWaitingOn(fifo, [&] {
        EXPECT_FALSE(kernel::readWholeFile(fifo, out));
        error = errno;
    }));
    EXPECT_EQ(error, EINVAL);
    EXPECT_FALSE(kernel::readWholeFile(dir.str(), out));
    EXPECT_EQ(errno, EISDIR);

    const auto big = dir.write("big.ini", "");
    std::filesystem::resize_file(big, kernel::kMaxSettingsFileBytes + 1);
    EXPECT_FALSE(kernel::readWholeFile(big, out));
    EXPECT_EQ(errno, EFBIG);
    std::filesystem::resize_file(big, kernel::kMaxSettingsFileBytes);
    EXPECT_TRUE(kernel::readWholeFile(big, out));
    EXPECT_EQ(out.size(), kernel::kMaxSettingsFileBytes);
}

TEST(WholeFileWrites, RespectTheFilesOwnPermissionAndKeepItsOwner)
{
    TempDir dir;
    ::chmod(dir.str().c_str(), 0777);
    const auto readOnly = dir.write("ro.ini", "[S]\nk=v\n");
    ::chmod(readOnly.c_str(), 0444);
    EXPECT_EQ(kernel::writeFileAtomically(readOnly, "new").error, EACCES) << "not even root replaces it";
    EXPECT_EQ(readFile(readOnly), "[S]\nk=v\n");

    // Someone else's file in a folder we may write: the folder would allow a
    // rename over it, the file says no.
    const auto others = dir.write("others.ini", "theirs");
    ::chmod(others.c_str(), 0644);
    {
        testing_support::AsUnprivileged user;
        EXPECT_EQ(kernel::writeFileAtomically(others, "mine").error, EACCES);
    }
    EXPECT_EQ(readFile(others), "theirs");

    const auto fifo = testing_support::makeFifo((dir / "pipe.ini").string());
    EXPECT_EQ(kernel::writeFileAtomically(fifo, "x").error, EINVAL);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));

    if (::geteuid() == 0) {
        const auto shared = dir.write("shared.ini", "a");
        ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
        ::chmod(shared.c_str(), 0664);
        ASSERT_TRUE(kernel::writeFileAtomically(shared, "b").ok());
        struct stat st {};
        ::stat(shared.c_str(), &st);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 0664u);

        // Anyone but root may not give the file away. The replacement of a
        // file shared through its group keeps the group; one the group
        // could not keep would shut the file's users out, and is not made.
        ASSERT_EQ(::chown(shared.c_str(), 1, 65534), 0);
        // Ours, shared with a group we are not in: the group would lose it.
        const auto groups = dir.write("groups.ini", "theirs");
        ASSERT_EQ(::chown(groups.c_str(), 65534, 4242), 0);
        ::chmod(groups.c_str(), 0664);
        // Anyone's: the group loses nothing that others keep.
        const auto anyones = dir.write("anyones.ini", "theirs");
        ASSERT_EQ(::chown(anyones.c_str(), 4242, 4242), 0);
        ::chmod(anyones.c_str(), 0666);
        {
            testing_support::AsUnprivileged user;
            EXPECT_TRUE(kernel::writeFileAtomically(shared, "c").ok());
            EXPECT_EQ(kernel::writeFileAtomically(groups, "mine").error, EPERM);
            EXPECT_TRUE(kernel::writeFileAtomically(anyones, "mine").ok());
        }
        ::stat(shared.c_str(), &st);
        EXPECT_EQ(readFile(shared), "c");
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 0664u);
        ::stat(groups.c_str(), &st);
        EXPECT_EQ(readFile(groups), "theirs");
        EXPECT_EQ(st.st_gid, 4242u);
        EXPECT_EQ(readFile(anyones), "mine");
    }
    EXPECT_EQ(entriesIn(dir.path()), 6u - (::geteuid() == 0 ? 0 : 3)) << "no temporary file left";
}

TEST(WholeFileWrites, AWriterKilledMidwayLeavesNothingForGood)
{
    TempDir dir;
    const auto from = dir.write("song.wav", std::string(1 << 20, 'w'));
    const auto to = (dir / "copy.wav").string();
    const pid_t child = ::fork();
    if (child == 0) {
        // The copy dies of its file size limit halfway through its data.
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const rlimit half{1 << 19, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &half);
        std::signal(SIGXFSZ, SIG_DFL);
        kernel::copyFile(from, to);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "the copy was not cut off";

    // A file system without unnamed files leaves a named one: a writer of
    // the same target removes those of dead writers, never a live one's.
    const auto stale = dir.write("." + std::string("copy.wav.") + std::to_string(child) + ".0.tmp", "partial");
    const auto live = dir.write(".copy.wav." + std::to_string(::getppid()) + ".0.tmp", "in progress");
    ASSERT_TRUE(kernel::copyFile(from, to).ok());
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(live));
    std::filesystem::remove(live);
    EXPECT_EQ(entriesIn(dir.path()), 2u) << "only the source and its copy";

    const auto settings = (dir / "quorvana.INI").string();
    const auto staleSettings = dir.write(".quorvana.INI." + std::to_string(child) + ".7.tmp", "[S]");
    ASSERT_TRUE(kernel::writeFileAtomically(settings, "[Quorvana]\n").ok());
    EXPECT_FALSE(std::filesystem::exists(staleSettings));
    EXPECT_EQ(entriesIn(dir.path()), 3u);
}
