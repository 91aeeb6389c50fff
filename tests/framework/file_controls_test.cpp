#include "framework/file_controls.h"
#include "framework/errors.h"
#include "framework/file_names.h"
#include "platform/fs/volumes.h"
#include "tests/support/temp_dir.h"

#include <QElapsedTimer>
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
using ui::DirectoryListBox;
using ui::DriveComboBox;
using ui::FileListBox;

QString q(const std::filesystem::path& p) { return ui::decodeFileName(QByteArray::fromStdString(p.string())); }

QString currentFolder()
{
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? q(buffer) : QString();
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
    QString path(const QString& name = {}) const { return name.isEmpty() ? q(dir.path()) : q(dir.path()) + "/" + name; }
};

struct ListBox {
    FileListBox list;
    QSignalSpy clicks{&list, &FileListBox::click};
    QSignalSpy reads{&list, &FileListBox::listed};
    ListBox() { list.setMask("*.mid;*.rmi;*.wav;*.avi;*.wa~;*.bun"); }
};

TEST(FileListBox, ListsOnlyMatchingRegularFilesSortedWithoutCase)
{
    MediaFolder folder;
    ListBox box;
    box.list.setDirectory(folder.path());
    EXPECT_EQ(box.list.itemTexts(), QStringList({"a.mid", "B.WAV", "d.bun", "link.avi"}));
    EXPECT_EQ(box.list.itemIndex(), -1);
    EXPECT_TRUE(box.list.fileName().isEmpty());
    EXPECT_EQ(currentFolder(), folder.path()) << "reading a folder makes it current";
}

TEST(FileListBox, NamesThatAreNotUtf8StillReachTheirFile)
{
    TempDir dir;
    const std::string odd = "caf\xe9 \xff.mid";
    dir.write(odd, "bytes");
    dir.write("two\nlines.wav", "x");
    ListBox box;
    box.list.setFileName(q(dir / odd));
    ASSERT_EQ(box.list.count(), 2);
    ASSERT_GE(box.list.itemIndex(), 0);
    EXPECT_TRUE(std::ifstream(ui::encodeFileName(box.list.fileName()).toStdString()).good());
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
    box.list.setFileName(folder.path("B.WAV"));
    box.list.setFileName(folder.path("b.wav"));
    box.list.setMask(box.list.mask());
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
    box.list.setFileName(folder.path("A.MID"));
    EXPECT_EQ(box.list.directory(), folder.path());
    EXPECT_EQ(box.list.fileName(), folder.path("a.mid"));

    // Both spellings side by side: each reaches its own file.
    folder.dir.write("A.MID", "y");
    box.list.updateList();
    box.list.setFileName(folder.path("A.MID"));
    EXPECT_EQ(box.list.fileName(), folder.path("A.MID"));
    box.list.setFileName(folder.path("a.mid"));
    EXPECT_EQ(box.list.fileName(), folder.path("a.mid"));

    box.list.setFileName(folder.path("missing.mid"));
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
    box.list.setItemIndex(-1);
    EXPECT_TRUE(box.list.fileName().isEmpty());
    EXPECT_EQ(box.clicks.count(), 0);

    box.list.setMask("*");
    box.list.setDirectory("/");
    if (box.list.count() > 0) {
        box.list.setItemIndex(0);
        EXPECT_EQ(box.list.fileName(), "/" + box.list.itemText(0)) << "one slash at the root";
    }
}

TEST(FileListBox, ClickComesFromTheUserOnly)
{
    MediaFolder folder;
    ListBox box;
    box.list.resize(300, 200);
    box.list.show();
    box.list.setItemIndex(0);
    box.list.setFileName(folder.path("d.bun"));
    EXPECT_EQ(box.clicks.count(), 0);

    QTest::keyClick(&box.list, Qt::Key_Up);
    EXPECT_EQ(box.clicks.count(), 1);
    EXPECT_EQ(box.list.itemIndex(), 1);

    // A click on the entry plays it, also when it is already the selected one.
    const QPoint first = box.list.visualItemRect(box.list.item(0)).center();
    QTest::mouseClick(box.list.viewport(), Qt::LeftButton, {}, first);
    QTest::mouseClick(box.list.viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(box.clicks.count(), 3);
    EXPECT_EQ(box.list.itemIndex(), 0);

    QTest::keyClick(&box.list, Qt::Key_Up);
    EXPECT_EQ(box.clicks.count(), 3) << "no move, no start";

    QMenu menu;
    QSignalSpy popups(&menu, &QMenu::aboutToShow);
    box.list.setPopupMenu(&menu);
    const QPoint second = box.list.visualItemRect(box.list.item(1)).center();
    QTest::mouseClick(box.list.viewport(), Qt::RightButton, {}, second);
    QContextMenuEvent event(QContextMenuEvent::Mouse, second, box.list.viewport()->mapToGlobal(second));
    QCoreApplication::sendEvent(box.list.viewport(), &event);
    EXPECT_EQ(popups.count(), 1);
    EXPECT_EQ(box.list.itemIndex(), 1) << "the menu acts on the entry under the pointer";
    EXPECT_EQ(box.clicks.count(), 3) << "a right-click starts nothing";
    menu.hide();
    const QPoint below = box.list.visualItemRect(box.list.item(box.list.count() - 1)).bottomLeft() + QPoint(4, 20);
    QTest::mouseClick(box.list.viewport(), Qt::RightButton, {}, below);
    EXPECT_EQ(box.list.itemIndex(), 1) << "empty space keeps the selection";
}

// Files come and go beside the ones that play; the selection stays with its
// file, and the list is read once for a burst of changes.
TEST(FileListBox, FollowsItsFolderKeepingTheSelectedFile)
{
    MediaFolder folder;
    ListBox box;
    box.list.setDirectory(folder.path());
    box.list.setFileName(folder.path("B.WAV"));
    box.reads.clear();

    folder.dir.write("0.mid", "x");
    folder.dir.write("1.mid", "x");
    std::filesystem::remove(folder.dir / "d.bun");
    ASSERT_TRUE(QTest::qWaitFor([&] { return box.list.itemTexts().contains("0.mid"); }, 3000));
    QTest::qWait(FileListBox::kFolderSettleMs * 2);
    EXPECT_EQ(box.list.itemTexts(), QStringList({"0.mid", "1.mid", "a.mid", "B.WAV", "link.avi"}));
    EXPECT_EQ(box.list.fileName(), folder.path("B.WAV"));
    EXPECT_EQ(box.reads.count(), 1);
    EXPECT_EQ(box.clicks.count(), 0);

    std::filesystem::remove(folder.dir / "B.WAV");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !box.list.itemTexts().contains("B.WAV"); }, 3000));
    EXPECT_EQ(box.list.itemIndex(), -1) << "a vanished file is not replaced by its neighbour";
}

// A download folder or a recorder rotating its files changes faster than the
// list settles: the list still catches up while the changes go on.
TEST(FileListBox, FolderThatNeverSettlesIsStillReadWhileItChanges)
{
    MediaFolder folder;
    ListBox box;
    box.list.setFileName(folder.path("B.WAV"));
    const auto listedNow = [&] {
        QStringList names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.dir.path()))
            if (entry.is_regular_file() && entry.path().extension() == ".mid" && entry.path().filename() != ".x.mid")
                names.append(q(entry.path().filename()));
        return names;
    };
    int reads = 0, stale = 0;
    QObject::connect(&box.list, &FileListBox::listed, [&] {
        ++reads;
        QStringList shown = box.list.itemTexts().filter(".mid");
        QStringList present = listedNow();
        shown.sort();
        present.sort();
        stale += shown != present;
        stale += box.list.fileName() != folder.path("B.WAV");
    });

    QElapsedTimer churn;
    churn.start();
    for (int n = 0; churn.elapsed() < 3000; ++n) {
        folder.dir.write("rec" + std::to_string(n) + ".mid", "x");
        if (n >= 3)
            std::filesystem::remove(folder.dir / ("rec" + std::to_string(n - 3) + ".mid"));
        QTest::qWait(50);
    }
    EXPECT_GE(reads, 2) << "read during the changes, not only after them";
    EXPECT_EQ(stale, 0) << "each read shows the files there and keeps the selection";
}

// A folder removed and made again (a card taken out, a recorder starting
// over) is followed again once it is back.
TEST(FileListBox, FolderThatComesBackIsFollowedAgain)
{
    MediaFolder folder;
    std::filesystem::create_directory(folder.dir / "takes");
    ListBox box;
    box.list.setDirectory(folder.path("takes"));
    // Empty, and the process's current folder: nothing inside tells it went.
    std::filesystem::remove(folder.dir / "takes");
    QTest::qWait(FileListBox::kFolderSettleMs * 3);

    std::filesystem::create_directory(folder.dir / "takes");
    folder.dir.write("takes/two.mid", "x");
    ASSERT_TRUE(QTest::qWaitFor([&] { return box.list.itemTexts() == QStringList {"two.mid"}; }, 5000));
    folder.dir.write("takes/three.mid", "x");
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.list.itemTexts().contains("three.mid"); }, 5000))
        << "watched again, not only read once";
}

TEST(FileListBox, FolderThatCannotBeEnteredKeepsEntriesAndFolder)
{
    MediaFolder folder;
    std::filesystem::create_directory(folder.dir / "locked");
    chmod((folder.dir / "locked").c_str(), 0100);
    ListBox box;
    box.list.setDirectory(folder.path());
    box.list.setItemIndex(1);

    const auto expectIoError = [&](const QString& path, int error) {
        try {
            box.list.setDirectory(path);
            ADD_FAILURE() << "no error for " << path.toStdString();
        } catch (const ui::EInOutError& e) {
            EXPECT_EQ(e.message(), "I/O-Fehler " + std::to_string(error));
        }
        EXPECT_EQ(box.list.count(), 4);
        EXPECT_EQ(box.list.itemIndex(), 1);
        EXPECT_EQ(box.list.directory(), folder.path());
        EXPECT_EQ(currentFolder(), folder.path());
    };
    expectIoError(folder.path("gone"), ENOENT);
    expectIoError(folder.path("c.txt"), ENOTDIR);
    if (geteuid() != 0)
        expectIoError(folder.path("locked"), EACCES);
    EXPECT_EQ(box.reads.count(), 1);
}

// Two removable volumes in a mount table of the test's own.
struct FakeVolumes {
    TempDir dir;
    FakeVolumes()
    {
        for (const char* sub : {"vol1/a/b", "vol2/c/d"})
            std::filesystem::create_directories(dir / sub);
        volumes::setMountTable((dir.write("mounts",
            "/dev/vda / ext4 rw 0 0\n/dev/sdb1 " + (dir / "vol1").string() + " vfat rw 0 0\n"
            "/dev/sdc1 " + (dir / "vol2").string() + " ext4 rw 0 0\n")));
    }
    ~FakeVolumes() { volumes::setMountTable("/proc/self/mounts"); }
    QString path(const char* sub) const { return q(dir / sub); }
};

TEST(DriveComboBox, ChangesOnlyForAnotherVolume)
{
    FakeVolumes volumes;
    DriveComboBox combo;
    QSignalSpy changes(&combo, &DriveComboBox::change);
    EXPECT_EQ(combo.count(), 4) << "the home folder and three volumes";
    EXPECT_EQ(combo.drive(), ui::driveOf(currentFolder()));
    combo.setDrive(currentFolder());
    EXPECT_EQ(changes.count(), 0);

    combo.setDrive(volumes.path("vol1/a/b") + "/song.mid");
    combo.setDrive(volumes.path("vol1"));
    EXPECT_EQ(combo.currentText(), volumes.path("vol1"));
    EXPECT_EQ(changes.count(), 1);

    combo.show();
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(combo.drive(), volumes.path("vol2"));
    EXPECT_EQ(changes.count(), 2);
}

// The user's music lives in the home folder, which the box once offered only
// by way of "/".
TEST(DriveComboBox, OffersTheHomeAndMusicFoldersByNameAndOpensThem)
{
    FakeVolumes volumes;
    TempDir own;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    std::filesystem::create_directories(own / "home/Music/Bach");
    std::filesystem::create_directories(own / "home/Documents");
    own.write("config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    qputenv("HOME", QByteArray::fromStdString((own / "home").string()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((own / "config").string()));
    const QString home = q(own / "home"), music = q(own / "home/Music");

    DriveComboBox combo;
    DirectoryListBox list;
    QObject::connect(&combo, &DriveComboBox::change, [&] { list.setDrive(combo.drive()); });
    QStringList texts;
    for (int i = 0; i < combo.count(); ++i)
        texts.append(combo.itemText(i));
    EXPECT_EQ(texts, QStringList({"Home", "Music", "/", volumes.path("vol1"), volumes.path("vol2")}));

    list.setDirectory(volumes.path("vol1/a"));
    combo.setDrive(list.directory());
    combo.show();
    QTest::keyClick(&combo, Qt::Key_Home);
    EXPECT_EQ(combo.drive(), home);
    EXPECT_EQ(list.directory(), home);
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(list.directory(), music);

    QSignalSpy changes(&combo, &DriveComboBox::change);
    combo.setDrive(music + "/Bach");
    EXPECT_EQ(changes.count(), 0) << "in the music folder already";
    combo.setDrive(home + "/Documents");
    EXPECT_EQ(combo.currentText(), "Home");
    EXPECT_EQ(changes.count(), 1);
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);
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

QStringList entries(const DirectoryListBox& list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts.append(list.item(i)->text());
    return texts;
}

TEST(DirectoryListBox, ShowsTheChainThenTheSortedSubfolders)
{
    FolderTree tree;
    DirectoryListBox list;
    list.setDirectory(tree.path("top/mid"));
    EXPECT_EQ(currentFolder(), tree.path("top/mid"));

    QStringList chain{ui::driveOf(tree.path("top"))};
    chain += tree.path("top/mid").mid(chain[0].size()).split('/', Qt::SkipEmptyParts);
    EXPECT_EQ(entries(list), chain + QStringList({"Alpha", "beta", "linked", "zeta"}));
    EXPECT_EQ(list.currentRow(), chain.size() - 1);
    EXPECT_EQ(list.entryPath(int(chain.size()) - 2), tree.path("top"));
    EXPECT_EQ(list.entryPath(int(chain.size())), tree.path("top/mid/Alpha"));
}

TEST(DirectoryListBox, SettingTheFolderFollowsTheRules)
{
    FolderTree tree;
    DirectoryListBox list;
    QSignalSpy changes(&list, &DirectoryListBox::change);
    list.setDirectory(tree.path("top/mid"));
    list.setDirectory(tree.path("top/mid") + "/");
    list.setDirectory(QString());
    EXPECT_EQ(changes.count(), 1) << "the current folder again changes nothing";

    list.setDirectory(tree.path("elsewhere/other.wav"));
    EXPECT_EQ(list.directory(), tree.path("elsewhere"));
    EXPECT_EQ(changes.count(), 2);

    EXPECT_THROW(list.setDirectory(tree.path("missing")), ui::EInOutError);
    EXPECT_EQ(list.directory(), tree.path("elsewhere"));
    EXPECT_EQ(currentFolder(), tree.path("elsewhere"));
    EXPECT_EQ(changes.count(), 2);

    list.resize(200, 400);
    list.show();
    list.setDirectory(tree.path("top/mid"));
    list.setCurrentRow(int(entries(list).indexOf("Alpha")));
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(list.directory(), tree.path("top/mid/Alpha"));
    const QPoint top = list.visualItemRect(list.item(int(entries(list).indexOf("top")))).center();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, top);
    EXPECT_EQ(list.directory(), tree.path("top"));
    EXPECT_EQ(changes.count(), 5);
}

TEST(DirectoryListBox, EachVolumeKeepsItsLastFolder)
{
    FakeVolumes volumes;
    DirectoryListBox list;
    QSignalSpy changes(&list, &DirectoryListBox::change);
    list.setDirectory(volumes.path("vol1/a/b"));
    EXPECT_EQ(entries(list), QStringList({volumes.path("vol1"), "a", "b"}));
    list.setDrive(volumes.path("vol1"));
    EXPECT_EQ(changes.count(), 1) << "the volume of the current folder";

    list.setDrive(volumes.path("vol2"));
    EXPECT_EQ(list.directory(), volumes.path("vol2")) << "first visit: the mount point";
    list.setDirectory(volumes.path("vol2/c"));
    list.setDrive(volumes.path("vol1"));
    EXPECT_EQ(list.directory(), volumes.path("vol1/a/b"));

    // The file list's reads count as well: it moves the process's folder.
    FileListBox files;
    files.setDirectory(volumes.path("vol2/c/d"));
    list.setDrive(volumes.path("vol2"));
    EXPECT_EQ(list.directory(), volumes.path("vol2/c/d"));

    std::filesystem::remove_all(volumes.dir / "vol1/a");
    list.setDrive(volumes.path("vol1"));
    EXPECT_EQ(list.directory(), volumes.path("vol1")) << "the last folder is gone";

    std::filesystem::remove_all(volumes.dir / "vol2");
    EXPECT_THROW(list.setDrive(volumes.path("vol2")), ui::EInOutError);
    EXPECT_EQ(list.directory(), volumes.path("vol1"));
    EXPECT_EQ(changes.count(), 6);
}

} // namespace
