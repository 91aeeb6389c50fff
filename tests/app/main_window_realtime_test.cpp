// The real devices behind the main window: wave files through the audio
// output (SDL's dummy driver), MIDI songs into the capture output.
#include "tests/app/main_window_fixture.h"

#include "platform/mci/drivers/drivers.h"
#include "platform/midi/capture_output.h"
#include "playback/playback_session.h"
#include "tests/support/smf_builder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <sndfile.h>

#include <cstdlib>

namespace {

std::string waveFile(const std::filesystem::path& path, int ms)
{
    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<short> samples(size_t(22050 * ms / 1000), 1000);
    sf_write_short(f, samples.data(), sf_count_t(samples.size()));
    sf_close(f);
    return path.string();
}

std::string midiFile(const std::filesystem::path& path, int ms)
{
    return smf_builder::write(path, smf_builder::noteFile(ms));
}

struct RealtimeTest : Form1Test {
    mci::Factory saved[3];

    void SetUp() override
    {
        setenv("QUORVANA_MIDI_OUT", "capture", 1);
        Form1Test::SetUp();
        // The real drivers, over the scripted ones the fixture put in.
        saved[0] = mci::setFactory(mci::DeviceType::WaveAudio, {});
        saved[1] = mci::setFactory(mci::DeviceType::Sequencer, {});
        saved[2] = mci::setFactory(mci::DeviceType::AviVideo, {});
        mci::registerBuiltinDrivers();
    }
    void TearDown() override
    {
        Form1Test::TearDown();
        mci::setFactory(mci::DeviceType::WaveAudio, saved[0]);
        mci::setFactory(mci::DeviceType::Sequencer, saved[1]);
        mci::setFactory(mci::DeviceType::AviVideo, saved[2]);
    }
};

bool contains(const std::vector<midi::CapturedMessage>& messages, const std::vector<uint8_t>& bytes)
{
    for (const auto& m : messages)
        if (m.bytes == bytes)
            return true;
    return false;
}

} // namespace

TEST_F(RealtimeTest, AdvancesThroughWaveMidiWaveWithThePauseAfterTheSong)
{
    waveFile(dir / "1.wav", 300);
    midiFile(dir / "2.mid", 300);
    waveFile(dir / "3.wav", 300);
    build();
    std::vector<std::pair<QString, qint64>> starts;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(form.get(), &QWidget::windowTitleChanged,
                     [&](const QString& title) { starts.emplace_back(title, clock.elapsed()); });
    click("1.wav");
    ASSERT_NE(form->Edit1->text(), "Error") << "no audio output";
    // The timer rests during the pause after the song, as the session does.
    while ((form->session().following() || form->session().state() == PlaybackSession::State::Resting)
        && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    EXPECT_FALSE(form->session().following()) << "the list's end stops the timer";
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_EQ(starts[0].first, "1.wav");
    EXPECT_EQ(starts[1].first, "2.mid");
    EXPECT_EQ(starts[2].first, "3.wav");
    // A wave track is followed at once, a song after a second and a half
    // (SDL's dummy driver plays a few percent fast).
    const qint64 afterWave = starts[1].second - starts[0].second;
    const qint64 afterSong = starts[2].second - starts[1].second;
    EXPECT_GE(afterWave, 250);
    EXPECT_LT(afterWave, 300 + 400);
    EXPECT_GE(afterSong, 250 + 1500);
    EXPECT_LT(afterSong, 300 + 1500 + 500);
    EXPECT_EQ(form->Edit1->text(), "0.3");
    EXPECT_TRUE(contains(midi::sharedCapture()->messages(), {0x90, 60, 100}));
}

TEST_F(RealtimeTest, GmResetReachesTheSynthesizerBeforeAWaveTrack)
{
    waveFile(dir / "1.wav", 300);
    build();
    midi::sharedCapture()->clear();
    form->RadioButton1->setChecked(true);
    click("1.wav");
    EXPECT_NE(form->Edit1->text(), "Error");
    EXPECT_TRUE(contains(midi::sharedCapture()->messages(), {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));

    midi::sharedCapture()->clear();
    form->RadioButton2->setChecked(true);
    click("1.wav");
    EXPECT_TRUE(contains(midi::sharedCapture()->messages(),
                         {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
}

// The desktop offers the player every audio/midi file, karaoke songs too.
TEST_F(RealtimeTest, AKaraokeSongNamedOnTheCommandLinePlaysOnTheSequencer)
{
    const std::string song = midiFile(dir / "Song.kar", 300);
    midi::sharedCapture()->clear();
    build({"quorvana", QString::fromStdString(song)});
    form->FormActivate(form.get());
    EXPECT_EQ(form->Edit1->text(), "0.3");
    EXPECT_EQ(form->windowTitle(), "Song.kar");
    ASSERT_TRUE(QTest::qWaitFor([] { return contains(midi::sharedCapture()->messages(), {0x90, 60, 100}); }));
}
