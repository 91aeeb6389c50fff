// The file list's context menu and files dropped on the window.
#include "tests/app/form1_fixture.h"

#include "framework/SaveDialog.h"
#include "settings/editor_settings.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QThread>
#include <QCoreApplication>
#include <QMenu>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

struct FileOpsTest : Form1Test {
    QString answerName;    // what the user types in the save dialog; empty: Cancel
    std::vector<std::string> dialogs;
    vcl::TSaveDialog::Hook savedDialogHook;

    void SetUp() override
    {
        Form1Test::SetUp();
        savedDialogHook = vcl::TSaveDialog::SetHook([this](vcl::TSaveDialog& d) {
            dialogs.push_back(d.Title.toStdString() + " " + d.FileName.toStdString());
            if (answerName.isEmpty())
                return false;
            d.FileName = answerName;
            return true;
        });
    }
    void TearDown() override
    {
        vcl::TSaveDialog::SetHook(savedDialogHook);
        Form1Test::TearDown();
    }

    void drop(const QStringList& paths)
    {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        mime->setUrls(urls);
        // Qt hands a drop only to the window that took the drag.
        QDragEnterEvent enter(QPoint(200, 100), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QCoreApplication::sendEvent(form.get(), &enter);
        QDropEvent event(QPointF(200, 100), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &event);
        delete mime;
    }
};

} // namespace

TEST_F(FileOpsTest, MenuItemsNeedASelection)
{
    addFile("a.wav", 100);
    build();
    form->PopupMenu1Popup(form->PopupMenu1);
    for (QAction* item : {form->EditFile, form->CopyFile1, form->RenameFile1, form->DeleteFile1})
        EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    EXPECT_TRUE(form->Cancel1->isEnabled());
    EXPECT_TRUE(form->Setup1->isEnabled());
    form->FileListBox1->setItemIndex(0);
    form->PopupMenu1Popup(form->PopupMenu1);
    EXPECT_TRUE(form->DeleteFile1->isEnabled());
}

TEST_F(FileOpsTest, CopyNeverOverwritesAndRestoresAutoAdvance)
{
    addFile("a.wav", 100);
    dir.write("b.wav", "keep me");
    build();
    click("a.wav");
    answerName = qpath("b.wav");
    form->CopyFile1Click(form->CopyFile1);
    EXPECT_EQ(dialogs.at(0), "Copy File to: " + path("a.wav"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error: The File-Name you specified already exists !");
    EXPECT_EQ(testing_support::readFile(path("b.wav")), "keep me");
    EXPECT_TRUE(form->CheckBox1->isChecked());

    answerName = qpath("c.wav");
    form->CopyFile1Click(form->CopyFile1);
    EXPECT_EQ(testing_support::readFile(path("c.wav")), "media");
    EXPECT_EQ(form->FileListBox1->itemTexts(), (QStringList{"a.wav", "b.wav", "c.wav"}));
    EXPECT_EQ(form->FileListBox1->itemIndex(), 0);

    // A cause other than an existing target is told as the system tells it.
    answerName = qpath("nowhere/d.wav");
    form->CopyFile1Click(form->CopyFile1);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].rfind("Error: ", 0), 0u);
    EXPECT_EQ(boxes[1].find("already exists"), std::string::npos);

    form->CheckBox1->setChecked(false);
    answerName.clear();
    form->CopyFile1Click(form->CopyFile1);
    EXPECT_FALSE(form->CheckBox1->isChecked());
}

TEST_F(FileOpsTest, RenameHandsTheDeviceToTheNeighbourFirst)
{
    addFile("a.wav", 100);
    addFile("b.wav", 100);
    addFile("c.wav", 100);
    std::filesystem::create_directory(dir / "sub");
    build();
    click("b.wav");
    media.clearLog();
    answerName = qpath("sub/moved.wav");
    form->RenameFile1Click(form->RenameFile1);
    EXPECT_EQ(dialogs.at(0), "Rename / Move File to: " + path("b.wav"));
    EXPECT_EQ(media.joinedLog(), "stop; close; open waveaudio " + path("a.wav"));
    EXPECT_TRUE(std::filesystem::exists(dir / "sub/moved.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir / "b.wav"));
    EXPECT_EQ(form->FileListBox1->itemTexts(), (QStringList{"a.wav", "c.wav"}));
    EXPECT_EQ(form->FileListBox1->itemIndex(), 0);
    EXPECT_EQ(form->windowTitle(), "b.wav") << "the neighbour is opened, not shown";

    // Onto an existing name: refused, nothing lost.
    click("a.wav");
    answerName = qpath("c.wav");
    form->RenameFile1Click(form->RenameFile1);
    EXPECT_EQ(boxes.back(), "Error: The File-Name you specified already exists !");
    EXPECT_EQ(testing_support::readFile(path("a.wav")), "media");
}

TEST_F(FileOpsTest, CancelledRenameLeavesTheTrackStopped)
{
    addFile("a.wav", 100);
    build();
    click("a.wav");
    media.clearLog();
    form->RenameFile1Click(form->RenameFile1);
    EXPECT_EQ(media.joinedLog(), "stop");
    EXPECT_TRUE(std::filesystem::exists(dir / "a.wav"));
}

TEST_F(FileOpsTest, DeleteAsksFirstAndKeepsTheIndex)
{
    addFile("a.wav", 100);
    addFile("b.wav", 100);
    addFile("c.wav", 100);
    build();
    click("a.wav");
    boxAnswer = vcl::IDCANCEL;
    form->DeleteFile1Click(form->DeleteFile1);
    EXPECT_EQ(boxes.at(0), "Attention: Delete this File ?");
    EXPECT_TRUE(std::filesystem::exists(dir / "a.wav"));
    EXPECT_TRUE(form->CheckBox1->isChecked());

    boxAnswer = vcl::IDOK;
    media.clearLog();
    form->DeleteFile1Click(form->DeleteFile1);
    EXPECT_EQ(media.joinedLog(), "stop; seek 0; close; open waveaudio " + path("b.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a.wav"));
    // The index survives, not the file: index 1 is now the former third entry.
    EXPECT_EQ(form->FileListBox1->itemIndex(), 1);
    EXPECT_EQ(form->FileListBox1->fileName(), qpath("c.wav"));
    EXPECT_TRUE(form->CheckBox1->isChecked());
}

TEST_F(FileOpsTest, FailedStopStillRestoresAutoAdvance)
{
    dir.write("bad.wav", "x");
    build();
    click("bad.wav");
    EXPECT_THROW(form->DeleteFile1Click(form->DeleteFile1), vcl::EMCIDeviceError);
    EXPECT_TRUE(form->CheckBox1->isChecked());
    EXPECT_TRUE(std::filesystem::exists(dir / "bad.wav"));
}

TEST_F(FileOpsTest, DropPlaysTheFirstMediaFileAndMovesTheBrowser)
{
    addFile("here.wav", 100);
    const std::string other = addFile("other/Song.MID", 4000);
    addFile("other/z.wav", 100);
    build();
    form->FormActivate(form.get());
    drop({QString::fromStdString(other), qpath("here.wav")});
    EXPECT_EQ(media.joinedLog(), "close; open sequencer " + other + "; play; time ms");
    EXPECT_EQ(form->windowTitle(), "Song.MID");
    EXPECT_EQ(form->DirectoryListBox1->directory(), qpath("other"));
    EXPECT_EQ(form->FileListBox1->fileName(), QString::fromStdString(other));
    EXPECT_EQ(form->FileDrag1->FileCount(), 2);
    EXPECT_EQ(form->CurrentTrackName, "");

    media.clearLog();
    dir.write("notes.txt", "x");
    dir.write("My.Song.mid", "x");
    drop({qpath("notes.txt")});
    drop({qpath("My.Song.mid")});
    EXPECT_TRUE(media.log.empty());
}

TEST_F(FileOpsTest, DropBeforeActivationIsNotDelivered)
{
    const std::string file = addFile("a.wav", 100);
    build();
    drop({QString::fromStdString(file)});
    EXPECT_TRUE(media.log.empty());
}

namespace {

struct EditTest : FileOpsTest {
    int setupShown = 0;
    std::string settings;

    void SetUp() override
    {
        FileOpsTest::SetUp();
        settings = path("quorvana.INI");
        editor_settings::setFilePathForTests(settings);
    }
    void TearDown() override
    {
        editor_settings::setFilePathForTests("");
        FileOpsTest::TearDown();
    }

    // Runs the edit, closing every Setup dialog it opens as Cancel would.
    void edit()
    {
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ++setupShown;
                dialog->reject();
            }
        });
        closer.start(10);
        form->EditFileClick(form->EditFile);
    }
};

} // namespace

TEST_F(EditTest, NoEditorOpensSetupAndThenDoesNothing)
{
    addFile("a.mid", 100);
    build();
    click("a.mid");
    edit();
    EXPECT_EQ(setupShown, 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(EditTest, EditorThatCannotStartIsReportedThenSetupOpens)
{
    addFile("a.mid", 100);
    dir.write("quorvana.INI", "[Quorvana]\r\nMIDIEdit=/nowhere/editor\r\n");
    build();
    click("a.mid");
    edit();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error: Editor-Filename is probably not valid. Please specify a valid filename for your "
                        "editor in the following dialog-box!");
    EXPECT_EQ(setupShown, 1);
}

TEST_F(EditTest, EditorGetsThePathAsOneArgumentWhateverItHolds)
{
    addFile("my \"best\" song.wav", 100);
    const std::string marker = path("args.txt");
    const std::string editor = dir.write("my editor.sh", "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + marker + ".tmp' && mv '"
                                                             + marker + ".tmp' '" + marker + "'\n");
    std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
    dir.write("quorvana.INI", "[Quorvana]\nWavEdit=" + editor + "\n");
    build();
    click("my \"best\" song.wav");
    edit();
    EXPECT_TRUE(boxes.empty());
    QElapsedTimer wait;
    wait.start();
    while (!std::filesystem::exists(marker) && wait.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_EQ(testing_support::readFile(marker), "1|" + path("my \"best\" song.wav") + "|");
}
