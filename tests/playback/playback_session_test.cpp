// The session without a window: the four entries, the tick, seeking,
// Auto-Advance with its pause after songs, and the reset before list tracks.
#include "tests/support/late_device.h"
#include "tests/support/session_rig.h"

#include "framework/errors.h"
#include "playback/reset_sequences.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <vector>

TEST_F(SessionTest, ListClickPlaysAndReportsTheTrack)
{
    addFile("song.wav", 12345);
    build();
    click("song.wav");
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("song.wav") + "; play; time ms");
    EXPECT_EQ(lengthMs, 12345);
    EXPECT_EQ(title, "song.wav");
    EXPECT_TRUE(session->following());
    EXPECT_EQ(session->currentTrackName(), qpath("song.wav"));
    EXPECT_FALSE(session->autoEnable());
}

TEST_F(SessionTest, EachKindOpensOnItsDevice)
{
    addFile("a.wa~", 100);
    addFile("b.BUN", 100);
    addFile("c.avi", 100);
    addFile("d.rmi", 100);
    build();
    for (const char* name : {"a.wa~", "b.BUN", "c.avi", "d.rmi"})
        click(name);
    EXPECT_EQ(media.joinedLog(),
        "close; open waveaudio " + path("a.wa~") + "; play; time ms; close; open waveaudio " + path("b.BUN")
            + "; play; time ms; close; open avivideo " + path("c.avi") + "; play; time ms; close; open sequencer "
            + path("d.rmi") + "; play; time ms");
}

TEST_F(SessionTest, RefusalReportsItsReasonAndKeepsTheTrack)
{
    addFile("good.mid", 5000);
    addBadFile("bad.mid");
    build();
    click("good.mid");
    click("bad.mid");
    EXPECT_EQ(session->state(), PlaybackSession::State::Refused);
    EXPECT_EQ(refusal, "scripted refusal");
    EXPECT_FALSE(session->following());
    EXPECT_EQ(title, "good.mid");
    EXPECT_EQ(session->currentTrackName(), qpath("good.mid"));
    EXPECT_TRUE(session->autoEnable()) << "the buttons follow the closed device";
    EXPECT_TRUE(failures.empty()) << "a refused start is no failed command";

    click("good.mid");
    EXPECT_EQ(refusal, "") << "the next track clears the reason";
}

TEST_F(SessionTest, CommandLineFilePlaysOnEveryActivationAndSelectsByName)
{
    addFile("a.mid", 1000);
    addFile("b.wav", 2000);
    addFile("other/a.mid", 300);
    build();
    startFromCommandLine("b.wav");
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("b.wav") + "; play; time ms");
    EXPECT_EQ(session->selectedIndex(), 1);
    EXPECT_TRUE(dropsAccepted);
    EXPECT_TRUE(session->following());
    EXPECT_EQ(session->currentTrackName(), "");

    media.setPosition(1500);
    media.clearLog();
    startFromCommandLine("b.wav");
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("b.wav") + "; play; time ms");

    startFromCommandLine("other/a.mid");
    EXPECT_EQ(session->selectedIndex(), 0) << "selected by its name alone";
    EXPECT_EQ(lengthMs, 300);
}

// The one state every view shows follows the track through each command,
// the rest after a song and a sound output that went for good.
TEST_F(SessionTest, TheStateFollowsTheTrack)
{
    using enum PlaybackSession::State;
    addFile("1.mid", 1000);
    addFile("2.wav", 1000);
    std::string lost;
    build({.lostOutput = [&] { return lost; }});
    EXPECT_EQ(session->state(), Empty) << "the sequencer open without a file";
    click("1.mid");
    session->pauseOrResume();
    session->pauseOrResume();
    session->stop();
    session->play();
    endTrack();
    session->play();
    lost = "The headset went.";
    tick();
    EXPECT_EQ(refusal, "The headset went.");
    EXPECT_EQ(states, (std::vector {Playing, Paused, Playing, Stopped, Playing, Resting, Playing, Refused}));
}

// The singer's key and tempo, set by a view, hold for the song, and the next track starts as its file has it; a device
// that cannot change them says so.
TEST_F(SessionTest, KeyAndTempoHoldUntilTheNextTrack)
{
    addFile("a.mid", 60000);
    addFile("b.mid", 60000);
    addFile("c.wav", 60000);
    build();
    EXPECT_FALSE(session->setTranspose(2)) << "no track";
    click("a.mid");
    media.clearLog();
    EXPECT_TRUE(session->setTranspose(-2));
    EXPECT_TRUE(session->setTempo(80));
    EXPECT_EQ(media.joinedLog(), "key -2; tempo 80");
    EXPECT_EQ(session->track().transpose, -2);
    EXPECT_EQ(session->track().tempo, 80);
    click("b.mid");
    EXPECT_EQ(session->track().transpose, 0);
    EXPECT_EQ(session->track().tempo, 100);
    click("c.wav");
    EXPECT_FALSE(session->setTempo(80));
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_EQ(session->track().tempo, 100);
}

TEST_F(SessionTest, CommandLineFileThatFailsKeepsDropsOff)
{
    build();
    startFromCommandLine("missing.mid");
    EXPECT_EQ(refusal, "scripted refusal");
    EXPECT_FALSE(dropsAccepted);
    EXPECT_FALSE(session->autoEnable());
    EXPECT_FALSE(session->following());
}

TEST_F(SessionTest, DropsOfMediaPlayAndMoveTheBrowser)
{
    addFile("song.MID", 1000);
    build();
    session->playDropped(qpath("song.MID"), "MID");
    EXPECT_EQ(media.joinedLog(), "close; open sequencer " + path("song.MID") + "; play; time ms");
    EXPECT_EQ(browsed, QStringList {qpath("song.MID")});
    EXPECT_EQ(session->selectedIndex(), 0);
    EXPECT_TRUE(session->following());

    media.clearLog();
    session->playDropped(qpath("notes.txt"), "txt");
    EXPECT_TRUE(media.log.empty());

    // Handed over, a file plays as dropped and is the command-line file from now on.
    addFile("other.wav", 2000);
    session->handOver({qpath("other.wav"), qpath("song.MID")});
    EXPECT_EQ(current(), path("other.wav"));
    session->playCommandLineFile();
    EXPECT_EQ(media.joinedLog(),
        "close; open waveaudio " + path("other.wav") + "; play; time ms; close; open waveaudio " + path("other.wav")
            + "; play; time ms");
}

TEST_F(SessionTest, TickFollowsThePositionAndASeekWaitsForNoTick)
{
    addFile("a.wav", 100000);
    addBadFile("bad.wav");
    build();
    click("bad.wav");
    media.clearLog();
    session->seekTo(10000); // nothing open: nothing happens, nothing is reported
    EXPECT_TRUE(media.log.empty() && failures.empty()) << media.joinedLog();

    click("a.wav");
    media.setPosition(1234);
    tick();
    EXPECT_EQ(tenths, 12);
    media.clearLog();
    session->seekTo(21200);
    EXPECT_EQ(media.joinedLog(), "seek 21200; play");
    EXPECT_EQ(tenths, 212);
}

TEST_F(SessionTest, SeekToPlaysOnFromThereWhetherPlayingOrPaused)
{
    addFile("a.wav", 100000);
    build();
    click("a.wav");
    std::vector<int> seeked;
    QObject::connect(session.get(), &PlaybackSession::seeked, [&](int ms) { seeked.push_back(ms); });
    media.clearLog();
    session->seekTo(4000);
    session->pauseOrResume();
    session->seekTo(6500);
    EXPECT_EQ(media.joinedLog(), "seek 4000; play; pause; seek 6500; play");
    EXPECT_EQ(session->state(), PlaybackSession::State::Playing);
    EXPECT_EQ(seeked, (std::vector<int> {4000, 6500}));
    EXPECT_EQ(tenths, 65);

    // The desktop's seek keeps a pause: still there, and resumed from there.
    session->pauseOrResume();
    media.clearLog();
    session->seekHolding(8000);
    EXPECT_EQ(session->state(), PlaybackSession::State::Paused);
    EXPECT_EQ(tenths, 80);
    session->pauseOrResume();
    EXPECT_EQ(media.joinedLog(), "seek 8000; play");
    EXPECT_EQ(session->state(), PlaybackSession::State::Playing);
}

TEST_F(SessionTest, AdvanceWalksTheFolderAndStopsAtTheEnd)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 2000);
    addFile("3.avi", 3000);
    build();
    click("1.wav");
    endTrack();
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_EQ(title, "2.wav");
    EXPECT_EQ(session->currentTrackName(), qpath("2.wav"));
    EXPECT_EQ(lengthMs, 2000);
    endTrack();
    EXPECT_EQ(current(), path("3.avi"));
    EXPECT_TRUE(session->following());

    media.clearLog();
    endTrack();
    // The selection cannot move past the last file: it opens again and stays.
    EXPECT_EQ(media.joinedLog(), "seek 0; close; open avivideo " + path("3.avi"));
    EXPECT_FALSE(session->following());
    EXPECT_EQ(media.current()->state, mci::Mode::Stopped);
    EXPECT_EQ(title, "3.avi");
}

TEST_F(SessionTest, NoAdvanceWhenOffOrElsewhere)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 1000);
    build();
    click("1.wav");
    session->setAutoAdvance(false);
    endTrack();
    EXPECT_EQ(current(), path("1.wav"));
    EXPECT_TRUE(session->following());

    session->setAutoAdvance(true);
    session->select(-1);
    tick();
    EXPECT_EQ(current(), path("1.wav"));
}

TEST_F(SessionTest, TheBarsNextReachesTheEndAndSoTheNextTrack)
{
    addFile("1.wav", 5000);
    addFile("2.wav", 5000);
    addFile("3.wav", 0);
    build();
    click("1.wav");
    session->toEnd();
    tick();
    EXPECT_EQ(current(), path("2.wav"));
    // A file from outside the list moves the selection only: the walk goes
    // on from there, onto the last file the list started too, and ends where
    // the selection cannot move.
    session->handOver({qpath("1.wav")});
    EXPECT_EQ(session->currentTrackName(), qpath("2.wav"));
    session->toEnd();
    tick();
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_EQ(media.current()->state, mci::Mode::Playing);
    session->toEnd();
    tick();
    EXPECT_EQ(current(), path("3.wav"));
    tick();
    EXPECT_FALSE(session->following()) << "the end of the list";
    EXPECT_EQ(media.current()->state, mci::Mode::Stopped);
}

TEST_F(SessionTest, MidiSongsRestBeforeTheNextTrackWithoutBlocking)
{
    addFile("1.mid", 1000);
    addFile("2.wav", 1000);
    addFile("3.wav", 1000);
    build();
    click("1.mid");
    QElapsedTimer clock;
    clock.start();
    endTrack();
    EXPECT_LT(clock.elapsed(), 100) << "the tick returns at once";
    EXPECT_TRUE((session->state() == PlaybackSession::State::Resting));
    EXPECT_FALSE(session->following());
    EXPECT_TRUE(QTest::qWaitFor([&] { return current() == path("2.wav"); }, 2500));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_TRUE(session->following());
    clock.restart();
    endTrack();
    EXPECT_EQ(current(), path("3.wav")) << "no pause after a wave";
}

// During the rest after a song, the user's command wins over the advance.
TEST_F(SessionTest, ACommandDuringTheRestCancelsTheAdvance)
{
    addFile("1.mid", 1000);
    addFile("2.wav", 1000);
    addFile("3.wav", 1000);
    build();
    click("1.mid");
    endTrack();
    ASSERT_TRUE((session->state() == PlaybackSession::State::Resting));
    QTest::qWait(300);
    click("2.wav");
    EXPECT_FALSE((session->state() == PlaybackSession::State::Resting));
    QTest::qWait(1500);
    EXPECT_EQ(current(), path("2.wav")) << "the clicked file plays on";

    click("1.mid");
    endTrack();
    ASSERT_TRUE((session->state() == PlaybackSession::State::Resting));
    session->stop();
    for (int i = 0; i < 3; ++i)
        tick();
    QTest::qWait(1600);
    EXPECT_EQ(current(), path("1.mid")) << "stopped at the song's end, it stays there";
    EXPECT_FALSE((session->state() == PlaybackSession::State::Resting));

    session->play(); // from the start again: its end leads on once more
    media.setPosition(500);
    tick();
    endTrack();
    EXPECT_TRUE((session->state() == PlaybackSession::State::Resting));
}

TEST_F(SessionTest, NeighboursPlayAtOnceAndNotPastTheEnds)
{
    addFile("1.mid", 1000);
    addFile("2.wav", 1000);
    build();
    click("1.mid");
    EXPECT_FALSE(session->playNeighbour(-1));
    EXPECT_TRUE(session->playNeighbour(1));
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_TRUE(session->following());
    EXPECT_FALSE(session->playNeighbour(1));
    EXPECT_EQ(session->selectedIndex(), 1);
}

TEST_F(SessionTest, ChoosingGmWritesBothResetFilesOnce)
{
    build();
    const auto windir = std::filesystem::path(getenv("QUORVANA_WINDIR"));
    std::filesystem::remove_all(windir);
    session->chooseReset(ResetChoice::GM);
    EXPECT_EQ(session->windowsDirectory().toStdString(), windir.string());
    EXPECT_EQ(testing_support::readFile(windir / "QUORVAGS.MI_"), reset_sequences::gsFile());
    EXPECT_EQ(testing_support::readFile(windir / "QUORVAGM.MI_"), reset_sequences::gmFile());

    std::filesystem::remove(windir / "QUORVAGS.MI_");
    session->chooseReset(ResetChoice::GS);
    EXPECT_EQ(testing_support::readFile(windir / "QUORVAGS.MI_"), reset_sequences::gsFile());
}

TEST_F(SessionTest, ResetPlaysBeforeListTracksOnly)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 1000);
    build();
    session->chooseReset(ResetChoice::GM);
    const std::string gm = session->windowsDirectory().toStdString() + "/QUORVAGM.MI_";
    media.add(gm, 1);
    media.clearLog();
    click("1.wav");
    EXPECT_EQ(media.joinedLog(),
        "close; open sequencer " + gm + "; play; close; open waveaudio " + path("1.wav") + "; play; time ms");

    media.clearLog();
    endTrack();
    EXPECT_EQ(media.joinedLog(),
        "seek 0; close; open sequencer " + gm + "; play; close; open waveaudio " + path("2.wav") + "; play; time ms");

    media.clearLog();
    startFromCommandLine("1.wav");
    session->playDropped(qpath("1.wav"), "wav");
    EXPECT_EQ(media.log.front(), "close");
    EXPECT_EQ(media.joinedLog().find("sequencer"), std::string::npos) << "no reset before other entries";

    // "No Reset" neither opens nor closes the device.
    session->chooseReset(ResetChoice::None);
    media.clearLog();
    session->checkReset();
    EXPECT_TRUE(media.log.empty());
}

TEST_F(SessionTest, MissingResetFileStopsTheClickWithTheDeviceError)
{
    addFile("1.wav", 1000);
    build();
    session->chooseReset(ResetChoice::GS);
    click("1.wav");
    EXPECT_EQ(failures, QStringList {"scripted refusal"});
    EXPECT_EQ(session->state(), PlaybackSession::State::Empty);
    EXPECT_FALSE(session->following());
}

TEST_F(SessionTest, OnlyAListWithSongsGetsTheSequencerReady)
{
    int sequencer = 0, wave = 0;
    mci::setPreparer(mci::DeviceType::Sequencer, [&](const multimedia::Choices&) { ++sequencer; });
    mci::setPreparer(mci::DeviceType::WaveAudio, [&](const multimedia::Choices&) { ++wave; });
    addFile("a.wav", 100);
    addFile("b.wa~", 100);
    build();
    session->prepareDevicesForTracks();
    QTest::qWait(500);
    EXPECT_EQ(sequencer, 0);
    EXPECT_EQ(wave, 1) << "each device type once, the wave-only kind on the wave device";

    session->setTracks(QString::fromStdString(dir.str()), {"a.wav", "c.MID"});
    session->prepareDevicesForTracks();
    EXPECT_EQ(sequencer, 0) << "not before the window has had its moment";
    QTest::qWait(500);
    EXPECT_EQ(sequencer, 1);
    mci::setPreparer(mci::DeviceType::Sequencer, {});
    mci::setPreparer(mci::DeviceType::WaveAudio, {});
}

TEST_F(SessionTest, NothingOpenMeansNothingToStop)
{
    addBadFile("bad.wav");
    build();
    click("bad.wav");
    media.clearLog();
    session->stopIfOpen();
    session->rewindIfOpen();
    EXPECT_TRUE(media.log.empty());
    EXPECT_TRUE(failures.empty());
    EXPECT_FALSE(session->stop()) << "the bar's own stop is refused";
    EXPECT_EQ(failures, QStringList {"Kein MCI-Gerät geöffnet"});
}

// The desktop may ask for anything; the session promises 0 to 1 to all who
// read it, whatever clamps the layers below keep for themselves.
TEST_F(SessionTest, VolumeStaysWithinZeroAndOne)
{
    build();
    std::vector<double> told;
    QObject::connect(session.get(), &PlaybackSession::volumeChanged, [&](double v) { told.push_back(v); });
    session->setVolume(1.5);
    EXPECT_EQ(session->volume(), 1.0);
    session->setVolume(-0.25);
    EXPECT_EQ(session->volume(), 0.0);
    session->setVolume(std::nan(""));
    EXPECT_EQ(session->volume(), 0.0);
    session->setVolume(0.5);
    EXPECT_EQ(told, std::vector<double>({0.0, 0.5})) << "1.5 left the volume where it was";
}

// A song read after its start is not taken for one at its end meanwhile; it
// shows its length once read, or ends as refused when it cannot play.
TEST_F(SessionTest, ATrackReadLateShowsItsLengthOrItsRefusalWhenRead)
{
    addFile("a.mid", 1000);
    addFile("b.mid", 1000);
    build();
    testing_support::LateSequencers sequencers;
    testing_support::LateDevice*& late = sequencers.late;
    click("a.mid");
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(lengthMs, 0);
    EXPECT_EQ(session->state(), PlaybackSession::State::Loading);
    tick();
    EXPECT_EQ(session->state(), PlaybackSession::State::Loading) << "0 of 0 ms while being read is no end";
    late->readAs(mci::Result::success());
    QCoreApplication::processEvents();
    EXPECT_EQ(lengthMs, 5000);
    EXPECT_TRUE(late->playing);

    // What needs the length or the mode waits for them, and goes with a
    // track that cannot play after all.
    click("a.mid");
    session->pauseOrResume();
    int lengthSeen = -1;
    session->whenRead([&] { lengthSeen = session->track().lengthMs; });
    EXPECT_EQ(lengthSeen, -1);
    late->readAs(mci::Result::success());
    QCoreApplication::processEvents();
    EXPECT_EQ(lengthSeen, 5000);
    EXPECT_EQ(session->state(), PlaybackSession::State::Paused);

    click("b.mid");
    session->whenRead([&] { lengthSeen = 0; });
    late->readAs(mci::Result::failure(mci::ErrInvalidFile, "The MIDI file holds no track."));
    QCoreApplication::processEvents();
    EXPECT_EQ(refusal, "The MIDI file holds no track.");
    EXPECT_EQ(session->state(), PlaybackSession::State::Refused);
    EXPECT_EQ(lengthSeen, 5000);
}

// A host's night: songs from anywhere queued with their singers play in
// order when a track ends, the folder then goes on where it was, and the
// queue is there again after a restart.
TEST_F(SessionTest, TheQueuePlaysBeforeTheFolderGoesOnAndSurvivesARestart)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 1000);
    const QString hero = QString::fromStdString(addFile("night/Hero.wav", 1000));
    const QString zamba = QString::fromStdString(addFile("night/Zamba.wav", 1000));
    const SessionSetup kept {.songMemory = path("memory.sqlite")};
    const auto buildAndRead = [&] {
        build(kept);
        QSignalSpy read(session.get(), &PlaybackSession::queueChanged);
        ASSERT_TRUE(read.wait(3000)) << "the kept queue is read once the event loop runs";
    };
    buildAndRead();
    click("1.wav");
    EXPECT_EQ(session->enqueue({hero, zamba, qpath("notes.txt")}, "Anna"), 2) << "only media files";
    session->nameSinger(1, "  Ben\n");
    EXPECT_EQ(session->upNext().announced(), "Anna – Hero");

    endTrack();
    EXPECT_EQ(current(), hero.toStdString());
    EXPECT_EQ(session->selectedIndex(), 0) << "the folder stays where it was";
    EXPECT_EQ(session->upNext().announced(), "Ben – Zamba");
    endTrack();
    EXPECT_EQ(current(), zamba.toStdString());
    EXPECT_EQ(session->upNext().announced(), "2") << "the folder's next, as Auto-Advance goes";
    endTrack();
    EXPECT_EQ(current(), path("2.wav"));

    session->enqueue({zamba}, "Carla");
    session->enqueue({hero}, "Dora", 0);
    session->moveQueued(0, 1);
    const std::vector<QueuedSong> before = session->queue();
    session.reset();
    buildAndRead();
    ASSERT_EQ(session->queue().size(), 2u);
    EXPECT_EQ(session->queue()[0].announced(), "Carla – Zamba");
    EXPECT_EQ(session->queue()[1].announced(), "Dora – Hero");
    EXPECT_EQ(session->queue()[1].file, before[1].file);
}
