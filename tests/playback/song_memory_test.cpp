// What a singer sets for a song, kept by the song's content through the real
// sequencer: a rename, a copy and a restart keep it; another song and a
// forgotten one start as written, from their first note.
#include "platform/mci/drivers/drivers.h"
#include "platform/midi/capture_output.h"
#include "platform/multimedia/choices.h"
#include "playback/playback_session.h"
#include "tests/support/smf_builder.h"
#include "tests/support/temp_dir.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string song(int note)
{
    smf_builder::Track notes;
    notes.ev(0, {0x91, 40, 100}).ev(0, {0x90, note, 100}).ev(480, {0x80, note, 0}).ev(0, {0x81, 40, 0});
    return smf_builder::file(1, 480, {notes.end()});
}

class SongMemoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        mci::registerBuiltinDrivers();
        choices.overrides.midiOutput = "capture";
        capture = midi::sharedCapture();
        dir.write("song.mid", song(60));
        dir.write("other.mid", song(64));
    }
    // A session as the player starts it; START plays.
    std::unique_ptr<PlaybackSession> start(const QString& name)
    {
        auto session = std::make_unique<PlaybackSession>(
            SessionSetup {.choices = [this] { return choices; }, .songMemory = (dir / "memory.sqlite").string()});
        session->setTracks(QString::fromStdString(dir.str()), {name});
        capture->clear();
        session->playEntry(0);
        EXPECT_TRUE(session->track().reason.isEmpty()) << session->track().reason.toStdString();
        return session;
    }
    // The note the song sounded on channel 1, once it has ended or looped.
    int firstNote()
    {
        const auto ended = [&] {
            for (const midi::CapturedMessage& m : capture->messages())
                if (m.bytes.size() == 3 && (m.bytes[0] == 0x80 || (m.bytes[0] == 0xB0 && m.bytes[1] == 123)))
                    return true;
            return false;
        };
        EXPECT_TRUE(QTest::qWaitFor(ended, 3000));
        for (const midi::CapturedMessage& m : capture->messages())
            if (m.bytes.size() == 3 && m.bytes[0] == 0x90 && m.bytes[2] > 0)
                return m.bytes[1];
        return -1;
    }

    testing_support::TempDir dir;
    multimedia::Choices choices;
    std::shared_ptr<midi::CaptureOutput> capture;
};

} // namespace

TEST_F(SongMemoryTest, ASongKeepsWhatWasSetThroughARenameACopyAndARestart)
{
    {
        auto session = start("song.mid");
        ASSERT_TRUE(session->setTranspose(-3));
        ASSERT_TRUE(session->setTempo(90));
        ASSERT_TRUE(session->setMuted(1, true));
        session->seekTo(100);
        ASSERT_TRUE(session->loopStartHere());
        session->seekTo(300);
        ASSERT_TRUE(session->loopEndHere());
    }
    std::filesystem::rename(dir / "song.mid", dir / "renamed.mid");
    std::filesystem::copy_file(dir / "renamed.mid", dir / "copy.mid");
    for (const char* name : {"renamed.mid", "copy.mid"}) {
        auto session = start(name);
        EXPECT_EQ(session->track().transpose, -3) << name;
        EXPECT_EQ(session->track().tempo, 90) << name;
        EXPECT_EQ(session->track().muted, 2) << name;
        EXPECT_TRUE(session->track().looping()) << name;
        EXPECT_NEAR(session->track().loopBegin, 100, 50) << name;
        EXPECT_EQ(firstNote(), 57) << name << ": heard from the first note";
        for (const midi::CapturedMessage& m : capture->messages())
            EXPECT_FALSE(m.bytes[0] == 0x91 && m.bytes[2] > 0) << name << ": channel 2 muted";
    }
    {
        auto session = start("other.mid");
        EXPECT_EQ(session->track().transpose, 0) << "another song as written";
        EXPECT_EQ(firstNote(), 64);
    }
    {
        auto session = start("copy.mid");
        ASSERT_TRUE(session->forgetSong());
        EXPECT_EQ(session->track().tempo, 100);
    }
    auto session = start("renamed.mid");
    EXPECT_EQ(session->track().transpose, 0) << "forgotten by its content, under any name";
    EXPECT_EQ(session->track().muted, 0);
    EXPECT_EQ(firstNote(), 60);
}
