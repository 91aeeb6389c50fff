// The file list's context menu: copy, rename/move and delete never lose a
// file, hand the player's file over first, and keep "Auto-Advance" as it was.
#include "browser/file_menu.h"

#include "framework/errors.h"
#include "framework/file_controls.h"
#include "framework/message_box.h"
#include "framework/save_dialog.h"
#include "tests/support/message_boxes.h"
#include "tests/support/temp_dir.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

struct MenuRig : QWidget {
    ui::FileListBox* FileListBox1 = new ui::FileListBox(this);
    ui::DirectoryListBox* DirectoryListBox1 = new ui::DirectoryListBox(this);
    QCheckBox* CheckBox1 = new QCheckBox(this);
    ui::SaveDialog* SaveDialog1 = new ui::SaveDialog(this);
    QAction* EditFile = new QAction(this);
    QAction* DeleteFile1 = new QAction(this);
    std::vector<std::string> player; // what the menu asked of the player
    std::map<std::string, std::string> editors; // by extension
    int setupShown = 0;
    bool stopFails = false;
    FileMenu menu{FileMenuControls{*this, *FileListBox1, *DirectoryListBox1, *CheckBox1, *SaveDialog1,
                                   {EditFile, DeleteFile1}},
                  FileMenuHooks{
                      .stopPlayer = [this] {
                          if (stopFails)
                              throw ui::EMCIDeviceError("Kein MCI-Gerät geöffnet");
                          player.push_back("stop");
                      },
                      .rewindPlayer = [this] { player.push_back("rewind"); },
                      .openInstead = [this](const QString& file) { player.push_back("open " + file.toStdString()); },
                      .editorFor = [this](const std::string& file) {
                          return editors[file.substr(file.rfind('.'))];
                      },
                      .setup = [this] { ++setupShown; },
                  }};

    explicit MenuRig(const QString& folder)
    {
        CheckBox1->setChecked(true);
        FileListBox1->setDirectory(folder);
        DirectoryListBox1->setDirectory(folder);
    }
};

struct FileMenuTest : ::testing::Test {
    testing_support::TempDir dir;
    std::unique_ptr<MenuRig> rig;
    testing_support::MessageBoxes boxes;
    QString answerName; // what the user types in the save dialog; empty: Cancel
    std::vector<std::string> dialogs;
    ui::SaveDialog::Hook savedDialogHook;

    void SetUp() override
    {
        savedDialogHook = ui::SaveDialog::setHook([this](ui::SaveDialog& d) {
            dialogs.push_back(d.title().toStdString() + " " + d.fileName().toStdString());
            if (answerName.isEmpty())
                return false;
            d.setFileName(answerName);
            return true;
        });
    }

    void TearDown() override
    {
        rig.reset();
        ui::SaveDialog::setHook(savedDialogHook);
    }

    void addFile(const std::string& name) { dir.write(name, "media"); }
    void build() { rig = std::make_unique<MenuRig>(QString::fromStdString(dir.path().string())); }
    void select(const QString& name) { rig->FileListBox1->setItemIndex(int(rig->FileListBox1->itemTexts().indexOf(name))); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    QString qpath(const std::string& name) const { return QString::fromStdString(path(name)); }
    std::string playerLog() const
    {
        std::string out;
        for (const std::string& s : rig->player)
            out += (out.empty() ? "" : "; ") + s;
        return out;
    }
};

} // namespace

TEST_F(FileMenuTest, FileItemsNeedASelection)
{
    addFile("a.wav");
    build();
    rig->menu.aboutToShow();
    EXPECT_FALSE(rig->EditFile->isEnabled());
    EXPECT_FALSE(rig->DeleteFile1->isEnabled());
    rig->FileListBox1->setItemIndex(0);
    rig->menu.aboutToShow();
    EXPECT_TRUE(rig->DeleteFile1->isEnabled());
}

TEST_F(FileMenuTest, CopyNeverOverwritesAndRestoresAutoAdvance)
{
    addFile("a.wav");
    dir.write("b.wav", "keep me");
    build();
    select("a.wav");
    answerName = qpath("b.wav");
    rig->menu.copyFile();
    EXPECT_EQ(dialogs.at(0), "Copy File to: " + path("a.wav"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error: The File-Name you specified already exists !");
    EXPECT_EQ(testing_support::readFile(path("b.wav")), "keep me");
    EXPECT_TRUE(rig->CheckBox1->isChecked());

    answerName = qpath("c.wav");
    rig->menu.copyFile();
    EXPECT_EQ(testing_support::readFile(path("c.wav")), "media");
    EXPECT_EQ(rig->FileListBox1->itemTexts(), (QStringList{"a.wav", "b.wav", "c.wav"}));
    EXPECT_EQ(rig->FileListBox1->itemIndex(), 0);

    // A cause other than an existing target is told as the system tells it.
    answerName = qpath("nowhere/d.wav");
    rig->menu.copyFile();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].rfind("Error: ", 0), 0u);
    EXPECT_EQ(boxes[1].find("already exists"), std::string::npos);

    rig->CheckBox1->setChecked(false);
    answerName.clear();
    rig->menu.copyFile();
    EXPECT_FALSE(rig->CheckBox1->isChecked());
}

TEST_F(FileMenuTest, RenameHandsTheDeviceToTheNeighbourFirst)
{
    addFile("a.wav");
    addFile("b.wav");
    addFile("c.wav");
    std::filesystem::create_directory(dir / "sub");
    build();
    select("b.wav");
    answerName = qpath("sub/moved.wav");
    rig->menu.renameFile();
    EXPECT_EQ(dialogs.at(0), "Rename / Move File to: " + path("b.wav"));
    EXPECT_EQ(playerLog(), "stop; open " + path("a.wav"));
    EXPECT_TRUE(std::filesystem::exists(dir / "sub/moved.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir / "b.wav"));
    EXPECT_EQ(rig->FileListBox1->itemTexts(), (QStringList{"a.wav", "c.wav"}));
    EXPECT_EQ(rig->FileListBox1->itemIndex(), 0);

    // Onto an existing name: refused, nothing lost.
    select("a.wav");
    answerName = qpath("c.wav");
    rig->menu.renameFile();
    EXPECT_EQ(boxes.back(), "Error: The File-Name you specified already exists !");
    EXPECT_EQ(testing_support::readFile(path("a.wav")), "media");
}

TEST_F(FileMenuTest, CancelledRenameLeavesTheTrackStopped)
{
    addFile("a.wav");
    build();
    select("a.wav");
    rig->menu.renameFile();
    EXPECT_EQ(playerLog(), "stop");
    EXPECT_TRUE(std::filesystem::exists(dir / "a.wav"));
}

TEST_F(FileMenuTest, DeleteAsksFirstAndKeepsTheIndex)
{
    addFile("a.wav");
    addFile("b.wav");
    addFile("c.wav");
    build();
    select("a.wav");
    boxes.answer = ui::IDCANCEL;
    rig->menu.deleteFile();
    EXPECT_EQ(boxes.at(0), "Attention: Delete this File ?");
    EXPECT_TRUE(std::filesystem::exists(dir / "a.wav"));
    EXPECT_TRUE(rig->CheckBox1->isChecked());

    boxes.answer = ui::IDOK;
    rig->menu.deleteFile();
    EXPECT_EQ(playerLog(), "stop; rewind; open " + path("b.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a.wav"));
    // The index survives, not the file: index 1 is now the former third entry.
    EXPECT_EQ(rig->FileListBox1->itemIndex(), 1);
    EXPECT_EQ(rig->FileListBox1->fileName(), qpath("c.wav"));
    EXPECT_TRUE(rig->CheckBox1->isChecked());
}

// Deleted, the file can still be put back from the desktop's trash; one
// that cannot be deleted is told why.
TEST_F(FileMenuTest, DeleteMovesTheFileToTheTrash)
{
    addFile("a.wav");
    addFile("b.wav");
    build();
    select("a.wav");
    rig->menu.deleteFile();
    EXPECT_EQ(boxes, std::vector<std::string> {"Attention: Delete this File ?"});
    EXPECT_FALSE(std::filesystem::exists(dir / "a.wav"));
    const std::filesystem::path trash = std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "Trash";
    EXPECT_EQ(testing_support::readFile(trash / "files/a.wav"), "media");
    EXPECT_TRUE(std::filesystem::exists(trash / "info/a.wav.trashinfo"));

    select("b.wav");
    std::filesystem::remove(dir / "b.wav");
    rig->menu.deleteFile();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2], "Error: No such file or directory");
}

TEST_F(FileMenuTest, FailedStopStillRestoresAutoAdvance)
{
    addFile("a.wav");
    build();
    select("a.wav");
    rig->stopFails = true;
    EXPECT_THROW(rig->menu.deleteFile(), ui::EMCIDeviceError);
    EXPECT_TRUE(rig->CheckBox1->isChecked());
    EXPECT_TRUE(std::filesystem::exists(dir / "a.wav"));
}

TEST_F(FileMenuTest, EditWithoutAnEditorOpensSetupAndThenDoesNothing)
{
    addFile("a.mid");
    build();
    select("a.mid");
    rig->menu.editFile();
    EXPECT_EQ(rig->setupShown, 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FileMenuTest, EditorThatCannotStartIsReportedThenSetupOpens)
{
    addFile("a.mid");
    build();
    rig->editors[".mid"] = "/nowhere/editor";
    select("a.mid");
    rig->menu.editFile();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error: Editor-Filename is probably not valid. Please specify a valid filename for your "
                        "editor in the following dialog-box!");
    EXPECT_EQ(rig->setupShown, 1);
}

TEST_F(FileMenuTest, EditorGetsThePathAsOneArgumentWhateverItHolds)
{
    addFile("my \"best\" song.wav");
    const std::string marker = path("args.txt");
    const std::string editor = dir.write("my editor.sh", "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + marker
                                                             + ".tmp' && mv '" + marker + ".tmp' '" + marker + "'\n");
    std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
    build();
    rig->editors[".wav"] = editor;
    select("my \"best\" song.wav");
    rig->menu.editFile();
    EXPECT_TRUE(boxes.empty());
    QElapsedTimer wait;
    wait.start();
    while (!std::filesystem::exists(marker) && wait.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_EQ(testing_support::readFile(marker), "1|" + path("my \"best\" song.wav") + "|");
}
