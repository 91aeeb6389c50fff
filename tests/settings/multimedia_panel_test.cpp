// The Multimedia Properties panel over the test's private registry store, a
// soundfont tree of its own and a sequencer whose ports the test sets.
#include "settings/multimedia_panel.h"

#include "framework/message_box.h"
#include "platform/midi/capture_output.h"
#include "tests/support/message_boxes.h"
#include "tests/support/temp_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "tests/support/fake_ports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

using testing_support::FakePorts;

const midi::Port through{14, 0, "Midi Through", "Midi Through Port-0"};
const midi::Port umOne{28, 0, "UM-ONE", "UM-ONE MIDI 1"};

class MultimediaPanelTest : public testing::Test {
protected:
    void SetUp() override
    {
        previousPorts = midi::setPortDirectory(ports);
        oldPath = std::getenv("PATH");
        setenv("PATH", (dir / "bin").c_str(), 1);
        std::string error;
        ASSERT_TRUE(multimedia::save({}, error)) << error;
    }
    void TearDown() override
    {
        setenv("PATH", oldPath.c_str(), 1);
        midi::setPortDirectory(previousPorts);
    }

    std::unique_ptr<TFormMultimedia> panel()
    {
        return std::make_unique<TFormMultimedia>(nullptr, std::vector<std::string>{(dir / "fonts").string()});
    }

    // A soundfont of the system under a name of the test's; empty when the
    // system has none there.
    std::string linkedSoundfont(const std::string& name, const std::string& target)
    {
        if (midi::soundfontName(target).empty())
            return {};
        std::filesystem::create_directories((dir / name).parent_path());
        std::filesystem::create_symlink(target, dir / name);
        return (dir / name).string();
    }

    testing_support::TempDir dir;
    std::shared_ptr<FakePorts> ports = std::make_shared<FakePorts>();
    std::shared_ptr<midi::PortDirectory> previousPorts;
    std::string oldPath;
    testing_support::MessageBoxes boxes;
};

} // namespace

TEST_F(MultimediaPanelTest, ShowsTheStoredChoicesAndStoresWhatItShows)
{
    const std::string first = linkedSoundfont("fonts/a/first.sf2", midi::systemSoundfont());
    const std::string second = linkedSoundfont("fonts/b/second.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2");
    if (first.empty() || second.empty())
        GTEST_SKIP() << "needs the default soundfont and timgm6mb-soundfont";
    ports->ports = {through, umOne};
    multimedia::Choices stored;
    stored.midiOutput = multimedia::MidiOutput::External;
    stored.soundfont = second;
    stored.midiClient = "UM-ONE";
    stored.midiPort = "UM-ONE MIDI 1";
    stored.midiAddress = "24:0"; // before it was plugged in again
    stored.resetSettleMs = 250;
    stored.videoSize = multimedia::VideoSize::Double;
    std::string error;
    ASSERT_TRUE(multimedia::save(stored, error)) << error;

    auto p = panel();
    EXPECT_EQ(p->soundfontBox->count(), 2) << "the default, once though the tree links to it, and the other";
    EXPECT_EQ(p->soundfontBox->currentData().toString().toStdString(), second);
    EXPECT_TRUE(p->externalButton->isChecked());
    EXPECT_EQ(p->portBox->currentText(), "UM-ONE MIDI 1 (UM-ONE, 28:0)");
    EXPECT_EQ(p->settleBox->value(), 250);
    EXPECT_TRUE(p->doubleSizeButton->isChecked());
    EXPECT_EQ(p->soundOutputBox->currentText(), "Default");
    EXPECT_TRUE(p->wordsBox->isChecked());

    p->synthButton->click();
    p->soundfontBox->setCurrentIndex(0); // the default
    p->fullScreenButton->click();
    p->wordsBox->click();
    p->okButton->click();
    EXPECT_EQ(p->result(), QDialog::Accepted);
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();

    multimedia::Choices expected = stored;
    expected.midiOutput = multimedia::MidiOutput::Synth;
    expected.soundfont.clear();
    expected.midiAddress = "28:0";
    expected.videoSize = multimedia::VideoSize::FullScreen;
    expected.showWords = false;
    EXPECT_EQ(multimedia::load(), expected);
}

TEST_F(MultimediaPanelTest, ABadChoiceIsReportedPutBackAndNothingIsStored)
{
    const std::string broken = dir.write("fonts/broken.sf2", std::string("RIFF\x10\0\0\0sfbkLIST", 16));
    ports->ports = {umOne};
    auto p = panel();
    p->soundfontBox->setCurrentIndex(p->soundfontBox->findData(QString::fromStdString(broken)));
    ASSERT_EQ(p->shownChoices().soundfont, broken);
    p->doubleSizeButton->click();
    EXPECT_FALSE(p->apply());
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "The soundfont " + broken + " could not be loaded.");
    EXPECT_EQ(p->shownChoices().soundfont, "") << "back to the stored choice";
    EXPECT_EQ(multimedia::load(), multimedia::Choices{});

    // The synthesizer is unplugged while the panel is open.
    p->externalButton->click();
    ASSERT_EQ(p->shownChoices().midiPort, "UM-ONE MIDI 1");
    ports->ports = {};
    EXPECT_FALSE(p->apply());
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[1], "The MIDI port \"UM-ONE MIDI 1\" is not connected.");
    EXPECT_TRUE(p->synthButton->isChecked());
    EXPECT_EQ(multimedia::load(), multimedia::Choices{});

    EXPECT_TRUE(p->apply()) << "the rest is good";
    EXPECT_EQ(multimedia::load().videoSize, multimedia::VideoSize::Double);
}

// A choice another program made while the panel was open, and that the user
// left alone, stays.
TEST_F(MultimediaPanelTest, OkKeepsWhatAnotherProgramChangedMeanwhile)
{
    const auto p = panel();
    multimedia::Choices other;
    other.resetSettleMs = 250;
    std::string error;
    ASSERT_TRUE(multimedia::save(other, error)) << error;
    p->doubleSizeButton->click();
    EXPECT_TRUE(p->apply());
    EXPECT_EQ(multimedia::load().resetSettleMs, 250u);
    EXPECT_EQ(multimedia::load().videoSize, multimedia::VideoSize::Double);
}

TEST_F(MultimediaPanelTest, OffersOnlyWhatTheSystemHasAndLosesNoStoredChoice)
{
    ports->missing = "This system has no ALSA sequencer (/dev/snd/seq is missing).";
    multimedia::Choices stored;
    stored.midiOutput = multimedia::MidiOutput::External;
    stored.midiClient = "SC-8850";
    stored.midiPort = "SC-8850 Part A";
    stored.midiAddress = "20:0";
    stored.soundOutput = "USB Audio CODEC";
    std::string error;
    ASSERT_TRUE(multimedia::save(stored, error)) << error;

    auto p = panel();
    EXPECT_FALSE(p->externalButton->isEnabled());
    EXPECT_FALSE(p->externalProblem->isHidden());
    EXPECT_EQ(p->externalProblem->text().toStdString(), ports->missing);
    EXPECT_TRUE(p->soundSettingsButton->isHidden()) << "no mixer is installed";
    // Choices the system does not offer now stay, marked, and OK keeps them.
    EXPECT_TRUE(p->externalButton->isChecked());
    EXPECT_EQ(p->portBox->currentText(), "SC-8850 Part A (not connected)");
    EXPECT_EQ(p->soundOutputBox->currentText(), "USB Audio CODEC (not connected)");
    EXPECT_TRUE(p->apply());
    EXPECT_EQ(multimedia::load(), stored);

    const auto mixer = dir.write("bin/pavucontrol", "#!/bin/sh\n");
    ::chmod(mixer.c_str(), 0755);
    EXPECT_FALSE(panel()->soundSettingsButton->isHidden());

    // A variable that wins over a choice is named; the choice shown stays the
    // user's own.
    EXPECT_TRUE(p->variablesNote->isHidden());
    setenv(multimedia::kResetSettleVariable, "25", 1);
    const auto overridden = panel();
    unsetenv(multimedia::kResetSettleVariable);
    EXPECT_FALSE(overridden->variablesNote->isHidden());
    EXPECT_TRUE(overridden->variablesNote->text().contains("QUORVANA_RESET_SETTLE_MS"))
        << overridden->variablesNote->text().toStdString();
    EXPECT_EQ(overridden->settleBox->value(), int(multimedia::kDefaultResetSettleMs));
}

TEST_F(MultimediaPanelTest, TestPlaysThroughTheOutputShownNotTheOneStored)
{
    const std::string broken = dir.write("fonts/broken.sf2", std::string("RIFF\x10\0\0\0sfbkLIST", 16));
    auto p = panel();
    p->soundfontBox->setCurrentIndex(p->soundfontBox->findData(QString::fromStdString(broken)));
    p->testButton->click();
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "The soundfont " + broken + " could not be loaded.");

    setenv("QUORVANA_MIDI_OUT", "capture", 1);
    const auto capture = midi::sharedCapture();
    capture->clear();
    p->testButton->click();
    EXPECT_TRUE(capture->waitForCount(11, 5s));
    std::vector<int> notes;
    for (const midi::CapturedMessage& m : capture->messages())
        if (m.bytes.size() == 3 && m.bytes[0] == 0x90 && notes.size() < 4)
            notes.push_back(m.bytes[1]);
    EXPECT_EQ(notes, (std::vector<int>{60, 64, 67, 72}));
    unsetenv("QUORVANA_MIDI_OUT");
}
