// A file thrown away goes where the desktop's file managers find it and can
// put it back; where no trash takes it, it is deleted as before.
#include "platform/fs/trash.h"

#include "tests/platform/fs/write_failures.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::readFile;
using testing_support::TempDir;

namespace {

// The user's data folder, and with it the trash, inside the test's folder.
struct DataHome {
    explicit DataHome(const std::string& path)
    {
        if (const char* value = std::getenv("XDG_DATA_HOME"))
            old_ = value;
        ::setenv("XDG_DATA_HOME", path.c_str(), 1);
    }
    ~DataHome() { ::setenv("XDG_DATA_HOME", old_.c_str(), 1); }
    std::string old_;
};

// PATH= and a deletion time, and nothing else one could put back by.
void expectInfo(const std::filesystem::path& info, const std::string& path)
{
    const std::string text = readFile(info);
    const std::string head = "[Trash Info]\nPath=" + path + "\nDeletionDate=";
    ASSERT_TRUE(text.starts_with(head)) << text;
    // YYYY-MM-DDThh:mm:ss and the line's end.
    const std::string date = text.substr(head.size());
    const std::string shape = "dddd-dd-ddTdd:dd:dd\n";
    ASSERT_EQ(date.size(), shape.size()) << text;
    for (size_t i = 0; i < shape.size(); ++i)
        EXPECT_TRUE(shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(date[i])) != 0 : date[i] == shape[i])
            << text;
}

} // namespace

TEST(TrashFile, KeepsEachFileAndWhereItCameFrom)
{
    TempDir dir;
    const DataHome data((dir / "data").string());
    const std::string real = std::filesystem::canonical(dir.path()).string();
    const std::string name = "50% off #1.mid";
    dir.write(name, "first");
    dir.write("sub/" + name, "second");

    ASSERT_TRUE(kernel::trashFile((dir / name).string()).ok());
    ASSERT_TRUE(kernel::trashFile((dir / "sub" / name).string()).ok());
    EXPECT_FALSE(std::filesystem::exists(dir / name));
    EXPECT_FALSE(std::filesystem::exists(dir / "sub" / name));
    const auto trash = dir / "data/Trash";
    EXPECT_EQ(readFile(trash / "files" / name), "first");
    expectInfo(trash / "info" / (name + ".trashinfo"), real + "/50%25%20off%20%231.mid");
    EXPECT_EQ(readFile(trash / "files/50% off #1.2.mid"), "second") << "the same name twice: both kept";
    expectInfo(trash / "info/50% off #1.2.mid.trashinfo", real + "/sub/50%25%20off%20%231.mid");
}

// The file stays, and so does no info file that would promise it.
TEST(TrashFile, AFileThatCannotLeaveItsFolderStaysWithoutATrace)
{
    TempDir dir;
    ::chmod(dir.str().c_str(), 0755);
    const DataHome data((dir / "data").string());
    for (const char* sub : {"data/Trash/files", "data/Trash/info"}) {
        std::filesystem::create_directories(dir / sub);
        ::chmod((dir / sub).c_str(), 0777);
    }
    dir.write("ro/a.mid", "keep");
    ::chmod((dir / "ro").c_str(), 0555);
    {
        testing_support::AsUnprivileged user;
        EXPECT_EQ(kernel::trashFile((dir / "ro/a.mid").string()).error, EACCES);
    }
    EXPECT_EQ(readFile(dir / "ro/a.mid"), "keep");
    EXPECT_TRUE(std::filesystem::is_empty(dir / "data/Trash/info"));
    EXPECT_EQ(kernel::trashFile((dir / "missing.mid").string()).error, ENOENT);
}

TEST(TrashFile, WhereNoTrashTakesItTheFileIsDeletedOutright)
{
    TempDir dir;
    const DataHome data(dir.write("not-a-folder", "x"));
    dir.write("a.mid", "x");
    ASSERT_TRUE(kernel::trashFile((dir / "a.mid").string()).ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "a.mid"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Another volume keeps its own trash at its top, and the way back relative
// to it: the volume may be mounted elsewhere next time.
TEST(TrashFile, OnAnotherVolumeTheVolumesOwnTrashTakesIt)
{
    struct stat shm {
    }, tmp {};
    const std::filesystem::path top = "/dev/shm";
    const auto own = top / (".Trash-" + std::to_string(::getuid()));
    if (::stat(top.c_str(), &shm) != 0 || ::stat(std::filesystem::temp_directory_path().c_str(), &tmp) != 0
        || shm.st_dev == tmp.st_dev || std::filesystem::exists(own) || std::filesystem::exists(top / ".Trash"))
        GTEST_SKIP() << "no second volume whose trash is ours to make";
    std::string folder = (top / "quorvana-test-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(folder.data()));
    const std::string name = std::filesystem::path(folder).filename().string();
    const std::string file = folder + "/a b.mid";
    std::ofstream(file) << "x";

    const kernel::Status trashed = kernel::trashFile(file);
    std::error_code ignored;
    const bool kept = std::filesystem::exists(own / "files/a b.mid");
    const std::string info = std::filesystem::exists(own / "info/a b.mid.trashinfo")
        ? readFile(own / "info/a b.mid.trashinfo")
        : std::string();
    std::filesystem::remove_all(own, ignored);
    std::filesystem::remove_all(folder, ignored);
    ASSERT_TRUE(trashed.ok()) << trashed.text();
    EXPECT_TRUE(kept);
    EXPECT_NE(info.find("\nPath=" + name + "/a%20b.mid\n"), std::string::npos) << info;
}
