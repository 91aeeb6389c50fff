#include "settings/Unit2.h"

#include "framework/sysutils.h"
#include "tests/platform/fs/write_failures.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using testing_support::readFile;
using testing_support::TempDir;

namespace {

// Answers the file dialog as a user would, and remembers what it was shown.
struct FakeChooser {
    std::optional<QString> answer;
    std::vector<TOpenDialog> shown;

    TOpenDialog::Chooser chooser()
    {
        return [this](QWidget*, const TOpenDialog& dialog) {
            shown.push_back(dialog);
            return answer;
        };
    }
};

class SetupDialog : public testing::Test {
protected:
    std::string settings() const { return (dir_ / "quorvana.INI").string(); }
    std::unique_ptr<TFormSetup> open() { return std::make_unique<TFormSetup>(nullptr, settings(), chooser_.chooser()); }

    TempDir dir_;
    FakeChooser chooser_;
};

} // namespace

TEST_F(SetupDialog, LayoutTextsAndTabOrder)
{
    const auto form = open();
    EXPECT_EQ(form->windowTitle(), "Setup");
    EXPECT_EQ(form->size(), QSize(465, 195));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    EXPECT_EQ(form->BitBtn1->geometry(), QRect(152, 144, 73, 33));
    EXPECT_EQ(form->BitBtn2->geometry(), QRect(232, 144, 73, 33));
    EXPECT_TRUE(form->BitBtn1->isDefault());
    EXPECT_FALSE(form->BitBtn1->icon().isNull());
    const std::tuple<QLineEdit*, QPushButton*, QLabel*, int, QString> rows[] = {
        {form->Edit1, form->Button1, form->Label1, 24, "MIDI - Editor:"},
        {form->Edit2, form->Button2, form->Label2, 56, "Wave - Editor:"},
        {form->Edit3, form->Button3, form->Label3, 88, "Avi - Editor:"},
    };
    for (const auto& [edit, button, label, top, caption] : rows) {
        EXPECT_EQ(edit->geometry(), QRect(120, top, 289, 21));
        EXPECT_TRUE(edit->font().bold());
        EXPECT_EQ(button->geometry(), QRect(416, top, 33, 25));
        EXPECT_EQ(button->text(), ">>");
        EXPECT_EQ(label->text(), caption);
        EXPECT_EQ(label->y(), top);
        EXPECT_EQ(label->font().pointSize(), 10);
        EXPECT_LE(label->x() + label->width(), 120) << caption.toStdString() << " runs into its field";
    }
    EXPECT_EQ(form->Label2->x(), 16);
    EXPECT_EQ(form->font().family(), "MS Sans Serif");

    const QWidget* expected[] = {form->BitBtn1, form->BitBtn2, form->Edit1,   form->Edit2,
                                 form->Edit3,   form->Button1, form->Button2, form->Button3};
    for (size_t i = 0; i + 1 < std::size(expected); ++i)
        EXPECT_EQ(expected[i]->nextInFocusChain(), expected[i + 1]) << i;
}

TEST_F(SetupDialog, NoFileShowsDefaultsAndOkWritesAllKeysInOrder)
{
    auto form = open();
    EXPECT_EQ(form->Edit1->text(), "");
    EXPECT_EQ(form->Edit2->text(), "sndrec32.exe");
    EXPECT_EQ(form->Edit3->text(), "");
    form->BitBtn1->click();
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(readFile(settings()), "[Quorvana]\r\nMIDIEdit=\r\nWavEdit=sndrec32.exe\r\nAviEdit=\r\n");

    // A cleared wave editor stays cleared rather than falling back to the default.
    form = open();
    form->Edit2->clear();
    form->Edit1->setText("/opt/Rose Garden/rosegarden");
    form->BitBtn1->click();
    form = open();
    EXPECT_EQ(form->Edit1->text(), "/opt/Rose Garden/rosegarden");
    EXPECT_EQ(form->Edit2->text(), "");
}

TEST_F(SetupDialog, SaveLeavesOtherContentAndReadsCutValues)
{
    // The wave editor's value is cut inside a two-byte character; the video
    // editor's is not UTF-8 at all. Both must be saved back unchanged.
    const std::string others = "; hand-written\n[Other]\nWavEdit=keep\n\n[QUORVANA]\nwavedit=" + std::string(1022, 'w') +
                               "\xc3\xa4" + std::string(476, 'w') + "\nMyKey=mine\nAviEdit=/opt/\xe4\xf6\n";
    dir_.write("quorvana.INI", others);
    auto form = open();
    EXPECT_EQ(form->Edit2->text().size(), 1023);
    form->BitBtn1->click();
    EXPECT_EQ(readFile(settings()), "; hand-written\n[Other]\nWavEdit=keep\n\n[QUORVANA]\nwavedit=" +
                                        std::string(1022, 'w') + "\xc3\nMyKey=mine\nAviEdit=/opt/\xe4\xf6\nMIDIEdit=\n");

    // A change made between two openings shows in the second.
    dir_.write("quorvana.INI", "[Quorvana]\nAviEdit=/usr/bin/kdenlive\n");
    form = open();
    EXPECT_EQ(form->Edit3->text(), "/usr/bin/kdenlive");
}

TEST_F(SetupDialog, BrowsingPresetsTheDialogAndCancelStoresNothing)
{
    dir_.write("quorvana.INI", "[Quorvana]\nWavEdit=/usr/bin/old\n");
    const auto form = open();

    chooser_.answer = std::nullopt;
    form->Button2->click();
    EXPECT_EQ(form->Edit2->text(), "/usr/bin/old");

    chooser_.answer = "/usr/bin/audacity";
    form->Button2->click();
    EXPECT_EQ(form->Edit2->text(), "/usr/bin/audacity");
    form->Button1->click();
    EXPECT_EQ(form->Edit1->text(), "/usr/bin/audacity");
    form->Button3->click();

    ASSERT_EQ(chooser_.shown.size(), 4u);
    EXPECT_EQ(chooser_.shown[1].Title, "Search for a Wave - Editor:");
    EXPECT_EQ(chooser_.shown[1].FileName, "/usr/bin/old");
    EXPECT_EQ(chooser_.shown[1].Filter, "Programs|*.exe|All Files|*.*");
    EXPECT_EQ(chooser_.shown[2].Title, "Search for a MIDI - Editor (Sequencer):");
    EXPECT_EQ(chooser_.shown[2].FileName, "");
    EXPECT_EQ(chooser_.shown[3].Title, "Search for an Avi - Editor:");

    form->BitBtn2->click();
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(readFile(settings()), "[Quorvana]\nWavEdit=/usr/bin/old\n");
}

TEST_F(SetupDialog, FailedWriteNamesTheFileStopsAndStillCloses)
{
    // The first key fits, the second does not, the third would shrink the file
    // and so would fit: it must not have been tried.
    const std::string before = "[Quorvana]\nMIDIEdit=\nWavEdit=\nAviEdit=a-long-old-value\n";
    dir_.write("quorvana.INI", before);
    auto form = open();
    form->Edit1->setText("abc");
    form->Edit2->setText("defghijklmnop");
    form->Edit3->setText("x");
    {
        testing_support::FileSizeLimit limit(before.size() + 5);
        try {
            form->BitBtn1->click();
            ADD_FAILURE() << "saving did not fail";
        } catch (const vcl::Exception& e) {
            EXPECT_EQ(e.message(), "Kann nicht nach " + settings() + " schreiben");
        }
    }
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(readFile(settings()), "[Quorvana]\nMIDIEdit=abc\nWavEdit=\nAviEdit=a-long-old-value\n");

    // A folder that cannot hold the file at all.
    const std::string blocked = dir_.write("not-a-folder", "") + "/quorvana.INI";
    form = std::make_unique<TFormSetup>(nullptr, blocked, chooser_.chooser());
    EXPECT_THROW(form->BitBtn1Click(form.get()), vcl::Exception);
}

TEST(SetupDialogRun, EachOpeningIsAFreshModalInstance)
{
    std::vector<TFormSetup*> seen;
    const auto closeWhenShown = [&seen] {
        QTimer::singleShot(0, [&seen] {
            auto* form = qobject_cast<TFormSetup*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            seen.push_back(form);
            form->BitBtn2->click();
        });
    };
    closeWhenShown();
    EXPECT_EQ(ShowSetupDialog(), QDialog::Rejected);
    closeWhenShown();
    EXPECT_EQ(ShowSetupDialog(), QDialog::Rejected);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0], seen[1]);
    EXPECT_EQ(FormSetup.data(), seen[1]);
    EXPECT_EQ(FormSetup->settingsFile(), editor_settings::filePath());
}

TEST(OpenFileDialog, ShowsTitleFiltersAndPresetAndCancels)
{
    TempDir dir;
    const auto editor = dir.write("editor", "#!/bin/sh\n");
    TOpenDialog settings;
    settings.Title = "Search for a Wave - Editor:";
    settings.FileName = QString::fromStdString(editor);

    QString title;
    QStringList filters;
    QString folder;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        folder = dialog->directory().absolutePath();
        dialog->reject();
    });
    EXPECT_EQ(runOpenFileDialog(nullptr, settings), std::nullopt);
    EXPECT_EQ(title, settings.Title);
    EXPECT_EQ(filters, (QStringList{"Programs (*)", "All Files (*)"}));
    EXPECT_EQ(folder.toStdString(), dir.str());

    EXPECT_EQ(qtNameFilters("Programs|*.exe|All Files|*.*"), (QStringList{"Programs (*.exe)", "All Files (*)"}));
    EXPECT_EQ(qtNameFilters("Media|*.mid;*.wav"), QStringList{"Media (*.mid *.wav)"});
}
