#include "settings/association_dialog.h"

#include "framework/message_box.h"
#include "platform/desktop/association.h"
#include "platform/registry/registry.h"
#include "tests/support/message_boxes.h"
#include "tests/support/registry_values.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>

#include <sys/stat.h>

using namespace registry;
using testing_support::TempDir;

namespace {

const char* const kExtensions[] = {".mid", ".kar", ".rmi", ".wav", ".wa~", ".avi"};

// Records the keys the dialog opens, in order; the real component does the work.
class RecordingRegFile : public TRegFile {
public:
    using TRegFile::TRegFile;
    bool OpenKey(const std::string& path, bool openOnly) override
    {
        opened.push_back(path);
        return TRegFile::OpenKey(path, openOnly);
    }
    std::vector<std::string> opened;
};

std::optional<std::string> defaultValue(const std::string& key)
{
    const auto value = testing_support::readRaw(HKEY_CLASSES_ROOT, key.c_str(), nullptr);
    if (!value || value->type != REG_SZ)
        return std::nullopt;
    return value->data;
}

void setDefault(const std::string& key, const std::string& text)
{
    ASSERT_TRUE(testing_support::writeRaw(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, text + '\0'));
}

class FormAssocTest : public testing::Test {
protected:
    void SetUp() override
    {
        store_ = testing_support::useStoresIn(dir_.path(), dir_ / "registry.reg");
        delete form_.RegFile1;
        recorder_ = new RecordingRegFile(&form_);
        recorder_->SetRootKey(hkClassesRoot);
        form_.RegFile1 = recorder_;
    }

    void uncheckAll()
    {
        for (QCheckBox* box : {form_.CheckBoxMID, form_.CheckBoxRMI, form_.CheckBoxWAV, form_.CheckBoxAVI})
            box->setChecked(false);
    }

    TempDir dir_;
    std::string store_;
    TFormAssoc form_;
    RecordingRegFile* recorder_ = nullptr;
};

} // namespace

TEST_F(FormAssocTest, StartsWithEveryBoxCheckedAndOkAsDefault)
{
    for (QCheckBox* box : {form_.CheckBoxMID, form_.CheckBoxRMI, form_.CheckBoxWAV, form_.CheckBoxAVI})
        EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(form_.LabelAVI->parentWidget(), form_.GroupBox2);
    EXPECT_TRUE(form_.BitBtn1->isDefault());
}

TEST_F(FormAssocTest, OkWritesTwelveValuesInOrderWithTheUnquotedPath)
{
    form_.ModuleFileName = [] { return std::string("/opt/my player/quorvana"); };
    form_.BitBtn1Click(form_.BitBtn1);

    std::vector<std::string> expected;
    for (const char* ext : kExtensions) {
        expected.push_back(ext);
        expected.push_back(std::string(ext) + "\\shell\\open\\command");
    }
    EXPECT_EQ(recorder_->opened, expected);
    for (const char* ext : kExtensions) {
        EXPECT_EQ(defaultValue(ext), std::string(1, '\0')) << ext;
        EXPECT_EQ(defaultValue(std::string(ext) + "\\shell\\open\\command"),
                  std::string("/opt/my player/quorvana %1") + '\0')
            << ext;
    }
    EXPECT_EQ(form_.RegFile1->Handle(), 0u);
}

TEST_F(FormAssocTest, UncheckedBoxesLeaveTheirExtensionsAlone)
{
    uncheckAll();
    form_.BitBtn1Click(form_.BitBtn1);
    EXPECT_TRUE(recorder_->opened.empty());
    EXPECT_FALSE(std::filesystem::exists(store_));

    setDefault(".wav", "SoundRec");
    setDefault(".wa~\\shell\\open\\command", "sndrec32.exe %1");
    form_.CheckBoxMID->setChecked(true);
    form_.CheckBoxRMI->setChecked(true);
    form_.CheckBoxAVI->setChecked(true);
    form_.BitBtn1Click(form_.BitBtn1);
    EXPECT_EQ(recorder_->opened.size(), 8u);
    EXPECT_EQ(defaultValue(".wav"), std::string("SoundRec") + '\0');
    EXPECT_EQ(defaultValue(".wa~\\shell\\open\\command"), std::string("sndrec32.exe %1") + '\0');
    EXPECT_FALSE(defaultValue(".wav\\shell\\open\\command"));
}

TEST_F(FormAssocTest, StatusShowsTheFileTypeOrTheCommand)
{
    // Nothing registered yet: the labels are empty and the dialog opens cleanly.
    form_.FormActivate(&form_);
    for (QLabel* label : {form_.LabelMID, form_.LabelRMI, form_.LabelWAV, form_.LabelAVI})
        EXPECT_EQ(label->text(), "");
    EXPECT_TRUE(defaultValue(".mid\\shell\\open\\command") == std::nullopt);

    // A file type name is shown, and then the command key is not read.
    setDefault(".mid", "midfile");
    setDefault(".avi", "");
    setDefault(".avi\\shell\\open\\command", "mplayer.exe %1");
    recorder_->opened.clear();
    form_.FormActivate(&form_);
    EXPECT_EQ(form_.LabelMID->text(), "midfile");
    EXPECT_EQ(form_.LabelAVI->text(), "mplayer.exe %1");
    EXPECT_EQ(recorder_->opened.front(), ".mid");
    EXPECT_EQ(recorder_->opened[1], ".rmi");
    EXPECT_EQ(recorder_->opened.size(), 7u);

    // After OK every label shows the program followed by " %1".
    form_.BitBtn1Click(form_.BitBtn1);
    form_.FormActivate(&form_);
    const QString command = QString::fromStdString(desktop::moduleFileName() + " %1");
    for (QLabel* label : {form_.LabelMID, form_.LabelRMI, form_.LabelWAV, form_.LabelAVI})
        EXPECT_EQ(label->text(), command);
}

TEST_F(FormAssocTest, RegistryFailureStopsTheHandlerAndOkStillCloses)
{
    form_.BitBtn1Click(form_.BitBtn1);
    ASSERT_EQ(chmod(store_.c_str(), 0444), 0);
    try {
        form_.FormActivate(&form_);
        ADD_FAILURE() << "nothing raised";
    } catch (const ERegFileError& e) {
        EXPECT_STREQ(e.what(), "Reg Error: 00000005");
    }
    EXPECT_EQ(form_.LabelMID->text(), "LabelMID");

    // Pressing OK shows the failure in the error box, then closes the dialog.
    testing_support::MessageBoxes boxes;
    form_.show();
    form_.BitBtn1->click();
    EXPECT_EQ(boxes.texts, std::vector<std::string> {"Reg Error: 00000005."});
    EXPECT_FALSE(form_.isVisible());
    EXPECT_EQ(form_.result(), QDialog::Accepted);
}

TEST_F(FormAssocTest, CancelWritesNothing)
{
    form_.show();
    form_.BitBtn2->click();
    EXPECT_FALSE(form_.isVisible());
    EXPECT_EQ(form_.result(), QDialog::Rejected);
    EXPECT_TRUE(recorder_->opened.empty());
    EXPECT_FALSE(std::filesystem::exists(store_));
}

TEST_F(FormAssocTest, DesktopOpensTheFilesWithThePlayerAfterOk)
{
    form_.BitBtn1Click(form_.BitBtn1);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                             "MATE_DESKTOP_SESSION_ID", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
        env.remove(name);
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir_ / "config").string()));
    env.insert("XDG_DATA_HOME", QString::fromStdString((dir_ / "data").string()));
    for (const char* type : {"audio/midi", "audio/x-wav", "video/x-msvideo"}) {
        QProcess query;
        query.setProcessEnvironment(env);
        query.start("xdg-mime", {"query", "default", type});
        ASSERT_TRUE(query.waitForFinished(30000)) << "xdg-mime did not run";
        EXPECT_EQ(query.readAllStandardOutput().trimmed(), "quorvana.desktop") << type;
    }
}

TEST_F(FormAssocTest, AnAssociationTheDesktopRefusesIsNotStored)
{
    const std::string notAFolder = dir_.write("not a folder", "");
    const std::string saved = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", notAFolder.c_str(), 1);
    EXPECT_THROW(form_.BitBtn1Click(form_.BitBtn1), ERegFileError);
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    EXPECT_EQ(defaultValue(".mid\\shell\\open\\command"), std::nullopt);
}

TEST(CreateFormAssoc, GivesAFreshDialogEachTime)
{
    QPointer<TFormAssoc> first = CreateFormAssoc();
    ASSERT_EQ(FormAssoc, first.data());
    first->CheckBoxWAV->setChecked(false);
    TFormAssoc* second = CreateFormAssoc();
    EXPECT_EQ(FormAssoc, second);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second->CheckBoxWAV->isChecked());
    EXPECT_EQ(second->RegFile1->RootKey(), hkClassesRoot);
    EXPECT_EQ(second->LabelMID->text(), "LabelMID");
}
