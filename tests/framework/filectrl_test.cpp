#include "framework/FileCtrl.h"
#include "framework/sysutils.h"
#include "tests/support/temp_dir.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing_support::TempDir;
using vcl::TFileListBox;

const QString kMediaMask = QStringLiteral("*.mid;*.rmi;*.wav;*.avi;*.wa~;*.bun");

QString q(const std::string& s) { return vcl::decodeFileName(QByteArray::fromStdString(s)); }
QString q(const std::filesystem::path& p) { return q(p.string()); }

QString currentFolder()
{
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? q(std::string(buffer)) : QString();
}

// A media folder with the traps of a real one around the files to list.
struct MediaFolder {
    TempDir dir;
    MediaFolder()
    {
        for (const char* name : {"d.bun", "B.WAV", "c.txt", "a.mid", ".x.mid", "song.mid.txt"})
            dir.write(name, "x");
        std::filesystem::create_directory(dir / "x.mid");
        std::filesystem::create_symlink(dir / "missing.wav", dir / "x.wav");
        std::filesystem::create_symlink(dir / "a.mid", dir / "link.avi");
        mkfifo((dir / "pipe.mid").c_str(), 0600);
    }
    QString path() const { return q(dir.path()); }
};

struct ListBox {
    TFileListBox list;
    QSignalSpy clicks{&list, &TFileListBox::click};
    QSignalSpy reads{&list, &TFileListBox::listed};
    ListBox() { list.setMask(kMediaMask); }
};

TEST(FileNameBytes, RoundTripAnyByteSequence)
{
    const QByteArray samples[] = {
        QByteArray("plain.mid"),
        QByteArray("Gr\xc3\xbc\xc3\x9f" "e \xe2\x99\xab.mid"),
        QByteArray("\xff\xfe.mid"),
        QByteArray("trunc\xc3"),
        QByteArray("overlong\xc0\xaf"),
        QByteArray("surrogate\xed\xa0\x80"),
        QByteArray("beyond\xf4\x90\x80\x80"),
        QByteArray("real replacement \xef\xbf\xbd and \x80"),
    };
    for (const QByteArray& bytes : samples)
        EXPECT_EQ(vcl::encodeFileName(vcl::decodeFileName(bytes)), bytes) << bytes.toHex().constData();
    EXPECT_EQ(vcl::decodeFileName("Gr\xc3\xbc\xc3\x9f" "e"), QString::fromUtf8("Grüße"));
}

TEST(FileListBox, ListsOnlyMatchingRegularFilesSortedWithoutCase)
{
    MediaFolder folder;
    ListBox box;
    box.list.setDirectory(folder.path());
    EXPECT_EQ(box.list.itemTexts(), QStringList({"a.mid", "B.WAV", "d.bun", "link.avi"}));
    EXPECT_EQ(box.list.itemIndex(), -1);
    EXPECT_TRUE(box.list.fileName().isEmpty());
    EXPECT_EQ(box.clicks.count(), 0);
}

TEST(FileListBox, ReadingAFolderMakesItTheCurrentFolder)
{
    MediaFolder folder;
    TempDir other;
    ListBox box;
    box.list.setDirectory(folder.path());
    EXPECT_EQ(currentFolder(), folder.path());
    box.list.setFileName(q(other.path()));
    EXPECT_EQ(currentFolder(), q(other.path()));
    EXPECT_EQ(box.list.directory(), q(other.path()));
    EXPECT_EQ(box.list.count(), 0);
}

TEST(FileListBox, NamesThatAreNotUtf8StillReachTheirFile)
{
    TempDir dir;
    const std::string odd = "caf\xe9 \xff.mid";
    dir.write(odd, "bytes");
    dir.write("two\nlines.wav", "x");
    ListBox box;
    box.list.setDirectory(q(dir.path()));
    ASSERT_EQ(box.list.count(), 2);
    box.list.setFileName(q(dir / odd));
    ASSERT_GE(box.list.itemIndex(), 0);
    std::ifstream in(vcl::encodeFileName(box.list.fileName()).toStdString());
    EXPECT_TRUE(in.good());
    box.list.setFileName(q(dir / "two\nlines.wav"));
    EXPECT_EQ(box.list.fileName(), q(dir / "two\nlines.wav"));
}

TEST(FileListBox, SameFolderOrFileAgainDoesNotReadAgain)
{
    MediaFolder folder;
    ListBox box;
    box.list.setDirectory(folder.path());
    box.list.setDirectory(folder.path() + "/");
    box.list.setFileName(folder.path());
    box.list.setFileName(folder.path() + "/B.WAV");
    box.list.setFileName(folder.path() + "/b.wav");
    box.list.setMask(kMediaMask);
    EXPECT_EQ(box.reads.count(), 1);
    EXPECT_EQ(box.list.itemIndex(), 1);

    box.list.updateList();
    EXPECT_EQ(box.reads.count(), 2);
    EXPECT_EQ(box.list.itemIndex(), -1) << "a fresh read has no selection";
}

TEST(FileListBox, SettingTheFileSelectsItsEntryWithoutRegardToCase)
{
    MediaFolder folder;
    ListBox box;
    box.list.setFileName(folder.path() + "/A.MID");
    EXPECT_EQ(box.list.directory(), folder.path());
    EXPECT_EQ(box.list.fileName(), folder.path() + "/a.mid");

    // Both spellings exist side by side: each reaches its own file.
    folder.dir.write("A.MID", "y");
    box.list.updateList();
    box.list.setFileName(folder.path() + "/A.MID");
    EXPECT_EQ(box.list.fileName(), folder.path() + "/A.MID");
    box.list.setFileName(folder.path() + "/a.mid");
    EXPECT_EQ(box.list.fileName(), folder.path() + "/a.mid");

    box.list.setFileName(folder.path() + "/missing.mid");
    EXPECT_EQ(box.list.itemIndex(), -1);
    EXPECT_EQ(box.clicks.count(), 0);
}

TEST(FileListBox, SelectionIndexRules)
{
    MediaFolder folder;
    ListBox box;
    box.list.setDirectory(folder.path());
    const int last = box.list.count() - 1;

    box.list.setItemIndex(last);
    box.list.setItemIndex(box.list.count());
    EXPECT_EQ(box.list.itemIndex(), last) << "past the end leaves the last entry selected";
    box.list.setItemIndex(0);
    EXPECT_EQ(box.list.fileName(), folder.path() + "/a.mid");
    box.list.setItemIndex(-1);
    EXPECT_EQ(box.list.itemIndex(), -1);
    EXPECT_TRUE(box.list.fileName().isEmpty());
    EXPECT_EQ(box.clicks.count(), 0);
}

TEST(FileListBox, SelectedFileAtTheRootHasOneSlash)
{
    TFileListBox list;
    list.setMask("*");
    list.setDirectory("/");
    if (list.count() == 0)
        GTEST_SKIP() << "no visible file in /";
    list.setItemIndex(0);
    EXPECT_EQ(list.fileName(), "/" + list.itemText(0));
}

TEST(FileListBox, ClickComesFromTheUserOnly)
{
    MediaFolder folder;
    ListBox box;
    box.list.resize(300, 200);
    box.list.show();
    box.list.setDirectory(folder.path());
    box.list.setItemIndex(0);
    box.list.setFileName(folder.path() + "/d.bun");
    EXPECT_EQ(box.clicks.count(), 0);

    QTest::keyClick(&box.list, Qt::Key_Up);
    EXPECT_EQ(box.clicks.count(), 1);
    EXPECT_EQ(box.list.itemIndex(), 1);

    const QPoint first = box.list.visualItemRect(box.list.item(0)).center();
    QTest::mouseClick(box.list.viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(box.clicks.count(), 2);
    EXPECT_EQ(box.list.itemIndex(), 0);

    // Clicking the playing entry again plays it again.
    QTest::mouseClick(box.list.viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(box.clicks.count(), 3);

    // At the top an arrow key changes nothing and starts nothing.
    QTest::keyClick(&box.list, Qt::Key_Up);
    EXPECT_EQ(box.clicks.count(), 3);
}

TEST(FileListBox, RightClickOpensThePopupMenuAndKeepsTheSelection)
{
    MediaFolder folder;
    ListBox box;
    QMenu menu;
    menu.addAction("Cancel");
    QSignalSpy popups(&menu, &QMenu::aboutToShow);
    box.list.setPopupMenu(&menu);
    box.list.resize(300, 200);
    box.list.show();
    box.list.setDirectory(folder.path());
    box.list.setItemIndex(2);

    const QPoint second = box.list.visualItemRect(box.list.item(1)).center();
    QTest::mouseClick(box.list.viewport(), Qt::RightButton, {}, second);
    QContextMenuEvent event(QContextMenuEvent::Mouse, second, box.list.viewport()->mapToGlobal(second));
    QCoreApplication::sendEvent(box.list.viewport(), &event);
    EXPECT_EQ(popups.count(), 1);
    EXPECT_EQ(box.list.itemIndex(), 2);
    EXPECT_EQ(box.clicks.count(), 0);
    menu.hide();
}

TEST(FileListBox, FolderThatCannotBeEnteredKeepsEntriesAndFolder)
{
    MediaFolder folder;
    ListBox box;
    box.list.setDirectory(folder.path());
    box.list.setItemIndex(1);

    const auto expectIoError = [&](const QString& path, int error) {
        try {
            box.list.setDirectory(path);
            ADD_FAILURE() << "no error for " << path.toStdString();
        } catch (const vcl::EInOutError& e) {
            EXPECT_EQ(e.errorCode(), error);
            EXPECT_EQ(e.message(), "I/O-Fehler " + std::to_string(error));
        }
        EXPECT_EQ(box.list.count(), 4);
        EXPECT_EQ(box.list.itemIndex(), 1);
        EXPECT_EQ(box.list.directory(), folder.path());
        EXPECT_EQ(currentFolder(), folder.path());
    };
    expectIoError(folder.path() + "/gone", ENOENT);
    expectIoError(folder.path() + "/c.txt", ENOTDIR);
    EXPECT_EQ(box.reads.count(), 1);
}

TEST(FileListBox, UnreadableFolderIsAnErrorNotAnEmptyList)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    MediaFolder folder;
    std::filesystem::create_directory(folder.dir / "locked");
    folder.dir.write("locked/in.mid", "x");
    chmod((folder.dir / "locked").c_str(), 0100);
    ListBox box;
    box.list.setDirectory(folder.path());
    EXPECT_THROW(box.list.setDirectory(folder.path() + "/locked"), vcl::EInOutError);
    EXPECT_EQ(box.list.directory(), folder.path());
}

} // namespace

namespace {

using vcl::TDirectoryListBox;
using vcl::TDriveComboBox;

TEST(Drives, MountTableKeepsRealVolumesOnly)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "usb stick");
    const std::string usb = (dir / "usb\\040stick").string();
    const std::string table = dir.write("mounts",
        "/dev/vda / ext4 rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sdb1 " + usb + " vfat rw 0 0\n"
        "/dev/vda /etc/hosts ext4 rw 0 0\n"
        "/dev/vda " + (dir / "hosts").string() + " ext4 rw 0 0\n"
        "server:/x /net/share nfs4 rw 0 0\n"
        "/dev/loop0 /snap/core/1 squashfs ro 0 0\n"
        "overlay / overlay rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n");
    dir.write("hosts", "127.0.0.1 localhost\n");
    EXPECT_EQ(vcl::mountPoints(table.c_str()),
              QStringList({"/", "/net/share", "/tmp", q(dir / "usb stick")}));
    EXPECT_EQ(vcl::mountPoints((dir / "none").c_str()), QStringList({"/"}));
}

TEST(Drives, DriveIsTheLongestWholeComponentPrefix)
{
    const QStringList points{"/", "/media/usb", "/media/usb/inner"};
    EXPECT_EQ(vcl::driveOf("/media/usb2/a.mid", points), "/");
    EXPECT_EQ(vcl::driveOf("/media/usb", points), "/media/usb");
    EXPECT_EQ(vcl::driveOf("/media/usb/a/../b.mid", points), "/media/usb");
    EXPECT_EQ(vcl::driveOf("/media/usb/inner/b.mid", points), "/media/usb/inner");
    EXPECT_EQ(vcl::driveOf("/media/usb/inner/../b.mid", points), "/media/usb");

    TempDir dir;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    EXPECT_EQ(vcl::driveOf("song.mid", {"/", q(dir.path())}), q(dir.path()));
}

TEST(DriveComboBox, ListsVolumesAndIgnoresTheCurrentDrive)
{
    TDriveComboBox combo;
    QSignalSpy changes(&combo, &TDriveComboBox::change);
    ASSERT_GE(combo.count(), 1);
    EXPECT_EQ(combo.itemText(0), "/");
    for (int i = 0; i < combo.count(); ++i)
        EXPECT_TRUE(combo.itemText(i).startsWith("/"));
    EXPECT_EQ(combo.drive(), vcl::driveOf(currentFolder()));

    combo.setDrive(currentFolder() + "/song.mid");
    combo.setDrive(combo.drive());
    combo.setDrive(QString());
    EXPECT_EQ(changes.count(), 0);
}

// A folder tree with hidden, linked and plain entries.
struct FolderTree {
    TempDir dir;
    FolderTree()
    {
        for (const char* sub : {"top/mid/zeta", "top/mid/Alpha", "top/mid/beta", "top/mid/.hidden", "elsewhere"})
            std::filesystem::create_directories(dir / sub);
        dir.write("top/mid/song.mid", "x");
        dir.write("elsewhere/other.wav", "x");
        std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "top/mid/linked");
        std::filesystem::create_directory_symlink(dir / "gone", dir / "top/mid/broken");
    }
    QString path(const char* sub) const { return q(dir / sub); }
};

QStringList entries(const TDirectoryListBox& list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts.append(list.item(i)->text());
    return texts;
}

TEST(DirectoryListBox, ShowsTheChainThenTheSortedSubfolders)
{
    FolderTree tree;
    TDirectoryListBox list;
    QSignalSpy changes(&list, &TDirectoryListBox::change);
    list.setDirectory(tree.path("top/mid"));
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(list.directory(), tree.path("top/mid"));
    EXPECT_EQ(currentFolder(), tree.path("top/mid"));

    QStringList chain{vcl::driveOf(tree.path("top"))};
    QString below = tree.path("top/mid").mid(chain[0].size());
    chain += below.split('/', Qt::SkipEmptyParts);
    EXPECT_EQ(entries(list), chain + QStringList({"Alpha", "beta", "linked", "zeta"}));
    EXPECT_EQ(list.currentRow(), chain.size() - 1);
    EXPECT_EQ(list.entryPath(0), chain[0]);
    EXPECT_EQ(list.entryPath(int(chain.size()) - 2), tree.path("top"));
    EXPECT_EQ(list.entryPath(int(chain.size())), tree.path("top/mid/Alpha"));
}

TEST(DirectoryListBox, SettingTheFolderFollowsTheRules)
{
    FolderTree tree;
    TDirectoryListBox list;
    QSignalSpy changes(&list, &TDirectoryListBox::change);
    list.setDirectory(tree.path("top/mid"));
    list.setDirectory(tree.path("top/mid") + "/");
    list.setDirectory(QString());
    EXPECT_EQ(changes.count(), 1) << "the current folder again changes nothing";

    list.setDirectory(tree.path("elsewhere/other.wav"));
    EXPECT_EQ(list.directory(), tree.path("elsewhere"));
    EXPECT_EQ(changes.count(), 2);

    EXPECT_THROW(list.setDirectory(tree.path("missing")), vcl::EInOutError);
    EXPECT_EQ(list.directory(), tree.path("elsewhere"));
    EXPECT_EQ(currentFolder(), tree.path("elsewhere"));
    EXPECT_EQ(changes.count(), 2);
}

TEST(DirectoryListBox, UserOpensFoldersWithEnterAndDoubleClick)
{
    FolderTree tree;
    TDirectoryListBox list;
    QSignalSpy changes(&list, &TDirectoryListBox::change);
    list.resize(200, 400);
    list.show();
    list.setDirectory(tree.path("top/mid"));
    const int alpha = int(entries(list).indexOf("Alpha"));

    list.setCurrentRow(alpha);
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(list.directory(), tree.path("top/mid/Alpha"));

    const int top = int(entries(list).indexOf("top"));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(top)).center());
    EXPECT_EQ(list.directory(), tree.path("top"));
    EXPECT_EQ(changes.count(), 3);
}

TEST(DirectoryListBox, DriveChangeMovesOnlyToAnotherVolume)
{
    FolderTree tree;
    TDirectoryListBox list;
    QSignalSpy changes(&list, &TDirectoryListBox::change);
    list.setDirectory(tree.path("top/mid"));
    list.setDrive(vcl::driveOf(tree.path("top/mid")));
    EXPECT_EQ(changes.count(), 1);

    // A volume first visited opens at its mount point.
    list.setDrive(tree.path("elsewhere"));
    EXPECT_EQ(list.directory(), tree.path("elsewhere"));
    EXPECT_EQ(changes.count(), 2);

    try {
        list.setDrive(tree.path("no medium"));
        ADD_FAILURE() << "an unreadable volume must fail";
    } catch (const vcl::EInOutError& e) {
        EXPECT_EQ(e.errorCode(), ENOENT);
    }
    EXPECT_EQ(list.directory(), tree.path("elsewhere"));
    EXPECT_EQ(changes.count(), 2);
}

} // namespace

namespace {

// Two removable volumes of a mount table of the test's own.
struct FakeVolumes {
    TempDir dir;
    FakeVolumes()
    {
        for (const char* sub : {"vol1/a/b", "vol2/c/d"})
            std::filesystem::create_directories(dir / sub);
        const std::string table = dir.write("mounts",
            "/dev/vda / ext4 rw 0 0\n"
            "/dev/sdb1 " + (dir / "vol1").string() + " vfat rw 0 0\n"
            "/dev/sdc1 " + (dir / "vol2").string() + " ext4 rw 0 0\n");
        vcl::setMountTable(QByteArray::fromStdString(table));
    }
    ~FakeVolumes() { vcl::setMountTable("/proc/self/mounts"); }
    QString path(const char* sub) const { return q(dir / sub); }
};

TEST(DriveComboBox, SwitchesVolumesByProgramAndByUser)
{
    FakeVolumes volumes;
    TDriveComboBox combo;
    QSignalSpy changes(&combo, &TDriveComboBox::change);
    EXPECT_EQ(combo.count(), 3);

    combo.setDrive(volumes.path("vol1/a/b") + "/song.mid");
    EXPECT_EQ(combo.drive(), volumes.path("vol1"));
    EXPECT_EQ(combo.currentText(), volumes.path("vol1"));
    combo.setDrive(volumes.path("vol1"));
    EXPECT_EQ(changes.count(), 1);

    combo.show();
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(combo.drive(), volumes.path("vol2"));
    EXPECT_EQ(changes.count(), 2);
}

TEST(DirectoryListBox, EachVolumeKeepsItsLastFolder)
{
    FakeVolumes volumes;
    TDirectoryListBox list;
    QSignalSpy changes(&list, &TDirectoryListBox::change);
    list.setDirectory(volumes.path("vol1/a/b"));
    EXPECT_EQ(list.item(0)->text(), volumes.path("vol1"));
    EXPECT_EQ(entries(list).mid(1), QStringList({"a", "b"}));

    list.setDrive(volumes.path("vol2"));
    EXPECT_EQ(list.directory(), volumes.path("vol2"));
    list.setDirectory(volumes.path("vol2/c"));
    list.setDrive(volumes.path("vol1"));
    EXPECT_EQ(list.directory(), volumes.path("vol1/a/b"));

    // The file list's reads count as well: it shares the process's folder.
    TFileListBox files;
    files.setDirectory(volumes.path("vol2/c/d"));
    list.setDrive(volumes.path("vol2"));
    EXPECT_EQ(list.directory(), volumes.path("vol2/c/d"));

    // The folder last visited is gone: back to the volume's root.
    std::filesystem::remove_all(volumes.dir / "vol1/a");
    list.setDrive(volumes.path("vol1"));
    EXPECT_EQ(list.directory(), volumes.path("vol1"));
    EXPECT_EQ(changes.count(), 6);
}

} // namespace
