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
