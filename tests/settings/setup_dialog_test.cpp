#include "settings/setup_dialog.h"

#include "framework/errors.h"
#include "tests/platform/fs/write_failures.h"
#include "tests/support/message_boxes.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using testing_support::readFile;

namespace {

class SetupDialog : public testing::Test {
protected:
    std::string settings() const { return (dir_ / "quorvana.INI").string(); }
    // A dialog whose file dialog answers ANSWER_ and records what it was shown.
    std::unique_ptr<TFormSetup> open()
    {
        return std::make_unique<TFormSetup>(nullptr, settings(), [this](QWidget*, const TOpenDialog& dialog) {
            shown_.push_back(dialog);
            return answer_;
        });
    }

    testing_support::TempDir dir_;
    std::optional<QString> answer_;
    std::vector<TOpenDialog> shown_;
};

} // namespace

TEST_F(SetupDialog, DefaultsOkWritesAllKeysAndEmptyStaysEmpty)
{
    auto form = open();
    EXPECT_EQ(form->size(), QSize(465, 195));
    for (const QLabel* label : {form->Label1, form->Label2, form->Label3})
        EXPECT_LE(label->x() + label->width(), form->Edit1->x()) << label->text().toStdString() << " runs into its field";
    EXPECT_EQ(form->Edit1->text() + "|" + form->Edit2->text() + "|" + form->Edit3->text(), "|sndrec32.exe|");
    form->BitBtn1->click();
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(readFile(settings()), "[Quorvana]\r\nMIDIEdit=\r\nWavEdit=sndrec32.exe\r\nAviEdit=\r\n");

    form = open();
    form->Edit2->clear();
    form->BitBtn1->click();
    EXPECT_EQ(open()->Edit2->text(), "") << "a cleared field fell back to its default";
}

TEST_F(SetupDialog, SaveKeepsOtherContentAndBytesOfCutOrForeignValues)
{
    // The wave editor's value is cut inside a two-byte character, the video
    // editor's is not UTF-8: both must go back exactly as read.
    dir_.write("quorvana.INI", "; by hand\n[Other]\nWavEdit=keep\n\n[QUORVANA]\nwavedit=" + std::string(1022, 'w') +
                                   "\xc3\xa4" + std::string(476, 'w') + "\nMyKey=mine\nAviEdit=/opt/\xe4\xf6\n");
    auto form = open();
    EXPECT_EQ(form->Edit2->text().size(), 1023);
    form->BitBtn1->click();
    EXPECT_EQ(readFile(settings()), "; by hand\n[Other]\nWavEdit=keep\n\n[QUORVANA]\nwavedit=" + std::string(1022, 'w') +
                                        "\xc3\nMyKey=mine\nAviEdit=/opt/\xe4\xf6\nMIDIEdit=\n");

    dir_.write("quorvana.INI", "[Quorvana]\nAviEdit=/usr/bin/kdenlive\n");
    EXPECT_EQ(open()->Edit3->text(), "/usr/bin/kdenlive") << "each opening reads the file again";
}

// Another program (or a second player) may change the file while the
// dialog is open: OK writes only the fields the user changed.
TEST_F(SetupDialog, OkKeepsWhatAnotherProgramChangedMeanwhile)
{
    dir_.write("quorvana.INI", "[Quorvana]\nMIDIEdit=rosegarden\nWavEdit=audacity\nAviEdit=\n");
    const auto form = open();
    dir_.write("quorvana.INI", "[Quorvana]\nMIDIEdit=rosegarden\nWavEdit=tenacity\nAviEdit=\n");
    form->Edit1->setText("muse");
    form->BitBtn1->click();
    EXPECT_EQ(readFile(settings()), "[Quorvana]\nMIDIEdit=muse\nWavEdit=tenacity\nAviEdit=\n");
}

TEST_F(SetupDialog, BrowsingPresetsTheDialogAndCancelStoresNothing)
{
    dir_.write("quorvana.INI", "[Quorvana]\nWavEdit=/usr/bin/old\n");
    const auto form = open();
    form->Button2->click(); // cancelled
    EXPECT_EQ(form->Edit2->text(), "/usr/bin/old");
    answer_ = "/usr/bin/audacity";
    form->Button2->click();
    form->Button1->click();
    form->Button3->click();
    EXPECT_EQ(form->Edit2->text(), "/usr/bin/audacity");

    ASSERT_EQ(shown_.size(), 4u);
    EXPECT_EQ(shown_[1].Title, "Search for a Wave - Editor:");
    EXPECT_EQ(shown_[1].FileName, "/usr/bin/old");
    EXPECT_EQ(shown_[3].Title, "Search for an Avi - Editor:");

    form->BitBtn2->click();
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(readFile(settings()), "[Quorvana]\nWavEdit=/usr/bin/old\n");
}

TEST_F(SetupDialog, FailedWriteNamesTheFileStopsAndStillCloses)
{
    // The first key fits, the second does not; the third would shrink the file,
    // so it would fit too: finding it unchanged shows it was not tried.
    const std::string before = "[Quorvana]\nMIDIEdit=\nWavEdit=\nAviEdit=a-long-old-value\n";
    dir_.write("quorvana.INI", before);
    const auto form = open();
    form->Edit1->setText("abc");
    form->Edit2->setText("defghijklmnop");
    form->Edit3->setText("x");
    {
        testing_support::FileSizeLimit limit(before.size() + 5);
        testing_support::MessageBoxes boxes;
        form->BitBtn1->click();
        EXPECT_EQ(boxes.texts, std::vector<std::string> {"Kann nicht nach " + settings() + " schreiben."});
    }
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(readFile(settings()), "[Quorvana]\nMIDIEdit=abc\nWavEdit=\nAviEdit=a-long-old-value\n");
}

TEST(SetupDialogRun, EachOpeningIsAFreshModalInstance)
{
    std::vector<TFormSetup*> seen;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&seen] {
            seen.push_back(qobject_cast<TFormSetup*>(QApplication::activeModalWidget()));
            if (seen.back())
                seen.back()->BitBtn2->click();
        });
        EXPECT_EQ(ShowSetupDialog(), QDialog::Rejected);
    }
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0], seen[1]);
    EXPECT_EQ(FormSetup.data(), seen[1]);
    EXPECT_EQ(FormSetup->settingsFile(), editor_settings::location().file);
}

TEST(OpenFileDialog, OpensInThePresetFolderWithProgramsFirst)
{
    testing_support::TempDir dir;
    TOpenDialog settings;
    settings.Title = "Search for a Wave - Editor:";
    settings.FileName = QString::fromStdString(dir.write("editor", ""));
    QStringList shown;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            shown << dialog->windowTitle() << dialog->nameFilters() << dialog->directory().absolutePath();
            dialog->reject();
        }
    });
    EXPECT_EQ(runOpenFileDialog(nullptr, settings), std::nullopt);
    EXPECT_EQ(shown, (QStringList{settings.Title, "Programs (*)", "All Files (*)", QString::fromStdString(dir.str())}));
}

TEST(SettingsLocation, InstalledCopySavesToAPerUserFileOverTheSiteWideOnes)
{
    testing_support::TempDir dir;
    const std::string executable = (dir / "bin/quorvana").string();
    EXPECT_EQ(editor_settings::locate(executable, true).file, (dir / "bin/quorvana.INI").string());
    EXPECT_TRUE(editor_settings::locate(executable, true).defaults.empty());

    // What an administrator put in the site's configuration, or beside the
    // program as older set-ups did, reaches every user; the site's wins.
    const char* const sites = std::getenv("XDG_CONFIG_DIRS");
    const std::string oldSites = sites ? sites : "";
    setenv("XDG_CONFIG_DIRS", (dir / "etc/xdg").c_str(), 1);
    const std::string site = dir.write("etc/xdg/quorvana/quorvana.INI", "[Quorvana]\nAviEdit=/opt/cutter\n");
    dir.write("bin/quorvana.INI", "[Quorvana]\r\nAviEdit=/opt/old-cutter\r\nMIDIEdit=/opt/seq\r\n");
    const editor_settings::Location installed = editor_settings::locate(executable, false);
    EXPECT_EQ(installed.file, std::string(getenv("XDG_CONFIG_HOME")) + "/quorvana/quorvana.INI");
    auto setup = std::make_unique<TFormSetup>(nullptr, installed);
    EXPECT_EQ(setup->Edit1->text(), "/opt/seq");
    EXPECT_EQ(setup->Edit3->text(), "/opt/cutter");
    setup->Edit1->setText("/home/me/seq");
    setup->BitBtn1Click(setup->BitBtn1);
    // What the user left as the site set it follows the site's later changes.
    EXPECT_EQ(readFile(installed.file), "[Quorvana]\r\nMIDIEdit=/home/me/seq\r\nWavEdit=sndrec32.exe\r\n");

    setup = std::make_unique<TFormSetup>(nullptr, installed);
    EXPECT_EQ(setup->Edit1->text(), "/home/me/seq");
    EXPECT_EQ(setup->Edit3->text(), "/opt/cutter");
    EXPECT_EQ(readFile(dir / "bin/quorvana.INI"), "[Quorvana]\r\nAviEdit=/opt/old-cutter\r\nMIDIEdit=/opt/seq\r\n");
    EXPECT_EQ(readFile(site), "[Quorvana]\nAviEdit=/opt/cutter\n");
    std::filesystem::remove(installed.file);
    if (sites)
        setenv("XDG_CONFIG_DIRS", oldSites.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_DIRS");
}
