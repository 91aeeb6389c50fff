// The sequencer as the media-player control drives it, playing into the
// capture output in real time.
#include "platform/mci/sequencer/sequencer_device.h"
#include "platform/midi/capture_output.h"
#include "platform/midi/smf.h"
#include "platform/midi/soundfonts.h"
#include "platform/midi/synth_output.h"
#include "platform/multimedia/choices.h"

#include "tests/support/smf_builder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <future>
#include <unistd.h>

using namespace smf_builder;
using namespace std::chrono_literals;

namespace {

class SequencerDeviceTest : public testing::Test {
protected:
    void SetUp() override
    {
        deviceChoices.overrides.midiOutput = "capture";
        capture = midi::sharedCapture();
        capture->clear();
    }

    std::unique_ptr<mci::Device> open(const std::string& path)
    {
        auto device = mci::makeSequencerDevice(deviceChoices);
        const mci::Result r = device->open(path);
        EXPECT_TRUE(r.ok()) << r.text;
        device->setTimeFormat(mci::TimeFormat::Milliseconds);
        return device;
    }
    std::vector<std::vector<uint8_t>> sent() const
    {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& m : capture->messages())
            out.push_back(m.bytes);
        return out;
    }

    testing_support::TempDir dir;
    // What open() hands the device.
    multimedia::Choices deviceChoices;
    std::shared_ptr<midi::CaptureOutput> capture;
};

// 150 ms: a program change and a short note on channel 2.
std::string shortSong()
{
    return file(0, 500, {Track().ev(0, {0xC2, 5}).ev(0, {0x92, 60, 100}).ev(100, {0x82, 60, 0}).end(50)});
}

const std::vector<uint8_t> gsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

} // namespace

TEST_F(SequencerDeviceTest, OpeningWithoutAFileTouchesNoOutput)
{
    // A synthesizer that cannot start: only an open with a file finds out.
    multimedia::Choices choices;
    choices.overrides.soundfont = "/nowhere/none.sf2";
    auto device = mci::makeSequencerDevice(choices);
    ASSERT_TRUE(device->open("").ok());
    uint32_t length = 1, position = 1;
    EXPECT_TRUE(device->length(length).ok());
    EXPECT_TRUE(device->position(position).ok());
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(device->mode(), mci::Mode::NotReady);
    EXPECT_TRUE(device->setTimeFormat(mci::TimeFormat::Milliseconds).ok());
    const mci::Result play = device->play();
    EXPECT_FALSE(play.ok());
    EXPECT_FALSE(play.text.empty());

    const mci::Result r = device->open(dir.write("song.mid", shortSong()));
    EXPECT_EQ(r.code, mci::ErrHardware);
    EXPECT_NE(r.text.find("/nowhere/none.sf2"), std::string::npos) << r.text;
}

TEST_F(SequencerDeviceTest, RefusedFilesSayWhy)
{
    auto device = mci::makeSequencerDevice();
    mci::Result r = device->open((dir / "missing.mid").string());
    EXPECT_EQ(r.code, mci::ErrFileNotFound);
    r = device->open(dir.write("text.mid", "just some text"));
    EXPECT_EQ(r.code, mci::ErrInvalidFile);
    EXPECT_NE(r.text.find("not a MIDI file"), std::string::npos);
    r = device->open(dir.write("f2.mid", file(2, 96, {Track().end()})));
    EXPECT_NE(r.text.find("format 2"), std::string::npos);
    EXPECT_EQ(device->mode(), mci::Mode::NotReady);
}

// The check made before an open decides as the open would: a small file by
// all of it, with the reason it is refused; one over 1 MiB by its header
// alone, read later as the song plays. Here the same trackless file, past
// 1 MiB by a hole, passes on its header: only that was read.
TEST_F(SequencerDeviceTest, TheFileCheckReadsASmallFileWholeAndABigOneByItsHeader)
{
    const std::string header("MThd\0\0\0\x06\0\x01\0\x01\x01\xE0", 14);
    const std::string small = dir.write("trackless.mid", header);
    const mci::Result r = mci::checkSongFile(small);
    EXPECT_EQ(r.code, mci::ErrInvalidFile);
    EXPECT_NE(r.text.find("holds no track"), std::string::npos) << r.text;

    const std::string big = dir.write("big.mid", header);
    ASSERT_EQ(::truncate(big.c_str(), 2 << 20), 0);
    EXPECT_TRUE(mci::checkSongFile(big).ok());
    midi::Song whole;
    std::string error;
    EXPECT_EQ(midi::loadSong(big, whole, error), midi::LoadError::Invalid) << "the check read only the header";
}

TEST_F(SequencerDeviceTest, PlaysToTheEndAndTellsOnce)
{
    auto device = open(dir.write("song.mid", shortSong()));
    std::promise<void> ended;
    int notices = 0;
    device->setEndNotify([&] {
        if (++notices == 1)
            ended.set_value();
    });
    uint32_t length = 0;
    device->length(length);
    EXPECT_EQ(length, 150u);
    ASSERT_TRUE(device->play().ok());
    EXPECT_EQ(device->mode(), mci::Mode::Playing);
    ASSERT_EQ(ended.get_future().wait_for(5s), std::future_status::ready);
    uint32_t position = 0;
    device->position(position);
    EXPECT_EQ(position, length);
    EXPECT_EQ(device->mode(), mci::Mode::Stopped);
    const auto messages = sent();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[0], (std::vector<uint8_t>{0xC2, 5}));
    EXPECT_EQ(messages[2], (std::vector<uint8_t>{0x82, 60, 0}));
    device->close();
    EXPECT_EQ(notices, 1);
}

TEST_F(SequencerDeviceTest, AResetPlayedJustBeforeTheNextOpenArrivesWhole)
{
    const std::string reset = dir.write("QUORVAGS.MI_", gsResetFile());
    const std::string song = dir.write("song.mid", shortSong());
    for (int round = 0; round < 20; ++round) {
        capture->clear();
        auto resetDevice = open(reset);
        resetDevice->play();
        resetDevice.reset(); // the next track's open closes it at once
        auto track = open(song);
        track->play();
        track.reset();
        const auto messages = sent();
        ASSERT_FALSE(messages.empty());
        ASSERT_EQ(messages[0], gsReset) << "round " << round;
    }
}

TEST_F(SequencerDeviceTest, SeekPauseResumeAndTheEnd)
{
    auto device = open(dir.write("song.mid", file(0, 500, {Track().ev(0, {0xC0, 7}).ev(2000, {0x90, 60, 1}).end(1000)})));
    EXPECT_FALSE(device->setTimeFormat(mci::TimeFormat::Frames).ok());
    EXPECT_FALSE(device->resume().ok()) << "not paused";

    ASSERT_TRUE(device->seek(1000).ok());
    uint32_t position = 0;
    device->position(position);
    EXPECT_EQ(position, 1000u);
    EXPECT_EQ(device->mode(), mci::Mode::Stopped);
    device->play();
    ASSERT_TRUE(capture->waitForCount(1, 2s));
    EXPECT_EQ(sent()[0], (std::vector<uint8_t>{0xC0, 7})) << "chased";
    device->pause();
    EXPECT_EQ(device->mode(), mci::Mode::Paused);
    EXPECT_TRUE(device->resume().ok());
    EXPECT_EQ(device->mode(), mci::Mode::Playing);

    std::promise<void> ended;
    device->setEndNotify([&] { ended.set_value(); });
    ASSERT_TRUE(device->seekToEnd().ok());
    device->position(position);
    EXPECT_EQ(position, 3000u);
    device->play();
    EXPECT_EQ(ended.get_future().wait_for(2s), std::future_status::ready);
    device->position(position);
    EXPECT_EQ(position, 3000u);
}

TEST_F(SequencerDeviceTest, PlaysThroughTheBuiltInSynthesizer)
{
    std::string error;
    if (midi::findSoundfont(multimedia::Choices {}, error).empty())
        GTEST_SKIP() << error;
    deviceChoices.overrides.midiOutput.clear();
    auto device = open(dir.write("song.mid", shortSong()));
    std::promise<void> ended;
    device->setEndNotify([&] { ended.set_value(); });
    device->play();
    EXPECT_EQ(ended.get_future().wait_for(5s), std::future_status::ready);
    uint32_t position = 0, length = 1;
    device->position(position);
    device->length(length);
    EXPECT_EQ(position, length);
}

// A running player changes over at its next song: every open plays with the
// choices it is given, and one that does not work refuses with its reason.
TEST_F(SequencerDeviceTest, EachOpenPlaysWithTheChoicesItIsGiven)
{
    std::string error;
    const std::string first = midi::findSoundfont(multimedia::Choices {}, error);
    const std::string second = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (first.empty() || midi::soundfontName(second).empty())
        GTEST_SKIP() << "needs the default soundfont and timgm6mb-soundfont";
    deviceChoices.overrides.midiOutput.clear();
    const std::string song = dir.write("song.mid", shortSong());
    auto device = open(song);
    const auto synth = std::dynamic_pointer_cast<midi::SynthOutput>(midi::sharedOutput("synth", {}, error));
    ASSERT_NE(synth, nullptr) << error;
    EXPECT_EQ(synth->soundfont(), first);

    multimedia::Choices choices;
    choices.soundfont = dir.write("broken.sf2", std::string("RIFF\x10\0\0\0sfbkLIST", 16));
    mci::Result r = mci::makeSequencerDevice(choices)->open(song);
    EXPECT_EQ(r.code, mci::ErrHardware);
    EXPECT_EQ(r.text, "The soundfont " + choices.soundfont + " could not be loaded.");

    choices.soundfont = second;
    r = mci::makeSequencerDevice(choices)->open(song);
    EXPECT_TRUE(r.ok()) << r.text;
    EXPECT_EQ(synth->soundfont(), second);

    // The synthesizer opens no sound of its own per song, yet a sound
    // output chosen since is taken, or refused by name.
    choices.soundOutput = "Sound Blaster 16";
    r = mci::makeSequencerDevice(choices)->open(song);
    EXPECT_EQ(r.code, mci::ErrHardware);
    EXPECT_NE(r.text.find("\"Sound Blaster 16\""), std::string::npos) << r.text;
    EXPECT_TRUE(device->open(song).ok());
}
