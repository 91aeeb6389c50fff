// The singer's windows as views of the session over the scripted device:
// built without the sequencer, they read what the session's track says and
// send the session their commands, never a device.
#include "playback/singer/singer_views.h"

#include "framework/save_dialog.h"
#include "platform/midi/smf.h"
#include "playback/singer/channels_window.h"
#include "playback/singer/queue_window.h"
#include "playback/singer/voice_dialog.h"
#include "playback/singer/wave_saver.h"
#include "tests/platform/fs/write_failures.h"
#include "tests/support/message_boxes.h"
#include "tests/support/session_rig.h"
#include "tests/support/smf_builder.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <set>

namespace {

// Four syllables a second from 41 s on, as a song whose words come late.
mci::SongParts lateWords(int melody)
{
    smf_builder::Track words;
    words.meta(41 * 960, 5, "Here ");
    for (const char* s : {"we ", "go\r", "a", "gain"})
        words.meta(240, 5, s);
    const std::string bytes = smf_builder::file(1, 480, {words.end()});
    midi::Song song;
    std::string error;
    EXPECT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, song, error));
    mci::SongParts parts;
    parts.song = std::make_shared<const midi::Song>(song);
    parts.words = std::make_shared<const midi::Words>(midi::readWords(song));
    const auto channel = [](int number, const char* instrument, const char* track, int lowest, int highest) {
        midi::ChannelUse c;
        c.channel = number;
        c.drums = number == 9;
        c.instrument = instrument;
        c.trackName = track;
        c.notes = 40;
        c.lowest = lowest;
        c.highest = highest;
        return c;
    };
    parts.channels = {channel(0, "Acoustic Grand Piano", "", 48, 76), channel(3, "String Ensemble 1", "Lead", 62, 79),
        channel(9, "Standard Kit", "", 35, 57)};
    parts.melody = melody;
    parts.digest = "d1";
    return parts;
}

struct SingerViewsTest : SessionTest {
    void SetUp() override
    {
        media.setParts(addFile("a.kar", 120000), lateWords(3));
        media.setParts(addFile("b.kar", 120000), lateWords(-1));
        build();
        SingerKept kept;
        kept.voiceLowest = 48; // C3
        kept.voiceHighest = 67; // G4
        views = std::make_unique<SingerViews>(*session, kept);
        click("a.kar");
        media.clearLog();
    }
    void TearDown() override
    {
        views.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void key(QWidget* window, Qt::Key k) { QTest::keyClick(window, k); }

    std::unique_ptr<SingerViews> views;
};

} // namespace

// The host runs the song from the full-screen words: every key is a
// command of the session's, and the window shows what the session set.
TEST_F(SingerViewsTest, TheWordsWindowsKeysAreTheSessionsCommands)
{
    singer::LyricsWindow* words = views->wordsWindow();
    ASSERT_NE(words, nullptr);
    EXPECT_TRUE(words->isVisible());
    words->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(words));
    key(words, Qt::Key_Space);
    EXPECT_EQ(session->state(), PlaybackSession::State::Paused);
    key(words, Qt::Key_Space);
    EXPECT_EQ(session->state(), PlaybackSession::State::Playing);
    media.clearLog();
    key(words, Qt::Key_S);
    EXPECT_EQ(media.joinedLog(), "seek 38000; play") << "3 s before the first words";
    media.clearLog();
    key(words, Qt::Key_Home);
    EXPECT_EQ(media.joinedLog(), "seek 0; play");

    // A passage from 38 s to 45 s, looped, then off.
    auto* corner = words->findChild<QLabel*>("keyAndTempo");
    session->seekTo(38000);
    key(words, Qt::Key_A);
    session->seekTo(45000);
    media.clearLog();
    key(words, Qt::Key_B);
    EXPECT_EQ(media.joinedLog(), "loop 38000 45000");
    EXPECT_EQ(corner->text(), "Loop 0:38–0:45");
    key(words, Qt::Key_L);
    EXPECT_FALSE(session->track().looping());
    EXPECT_FALSE(corner->isVisible());

    media.clearLog();
    key(words, Qt::Key_M);
    EXPECT_EQ(session->track().guide, MelodyGuide::Quiet);
    EXPECT_EQ(media.joinedLog(), "channels 0 8") << "the melody's channel 4, quieter";
    key(words, Qt::Key_M);
    EXPECT_EQ(media.joinedLog(), "channels 0 8; channels 8 0") << "then silent";
    EXPECT_EQ(corner->text(), "Melody off");

    // The melody, D4 to G5, fits a voice from C3 to G4 an octave down.
    for (QAction* action : words->actions())
        if (action->text() == "Key for My Voice")
            action->trigger();
    EXPECT_EQ(session->track().transpose, -12);
    EXPECT_EQ(corner->text(), "Key -12   Melody off");
    for (QAction* action : words->actions())
        if (action->text() == "Forget This Song")
            action->trigger();
    EXPECT_EQ(session->track().transpose, 0);
    EXPECT_EQ(session->track().guide, MelodyGuide::Full);
    EXPECT_FALSE(corner->isVisible());

    media.clearLog();
    key(words, Qt::Key_N);
    EXPECT_EQ(current(), path("b.kar")) << "the next song, as the advance starts it";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    words = views->wordsWindow();
    ASSERT_NE(words, nullptr);
    words->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(words));
    key(words, Qt::Key_M);
    EXPECT_EQ(session->track().guide, MelodyGuide::Full) << "no melody found: nothing to guide";
}

// What a screen reader reads of the channels, and what their boxes do.
TEST_F(SingerViewsTest, TheChannelsWindowReadsEachChannelAndMutesAndSolosIt)
{
    views->showChannels();
    singer::ChannelsWindow* window = views->channelsWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->rows().size(), 3u);
    const auto& strings = window->rows()[1];
    EXPECT_EQ(strings.mute->accessibleName(), "Mute 4 String Ensemble 1");
    EXPECT_EQ(strings.solo->accessibleName(), "Solo 4 String Ensemble 1");
    EXPECT_EQ(strings.track->text(), "Lead");
    EXPECT_EQ(strings.melody->text(), "Melody");
    EXPECT_EQ(window->rows()[2].instrument->text(), "Standard Kit");
    EXPECT_EQ(window->summary()->text(), "Melody: channel 4 String Ensemble 1");

    strings.mute->click();
    window->rows()[0].solo->click();
    EXPECT_EQ(media.joinedLog(), "channels 8 0; channels 65534 0") << "4 muted; then all but 1";
    EXPECT_EQ(session->track().muted, 8);

    media.levels[3] = 100;
    EXPECT_TRUE(media.current()->metering) << "metered while shown";
    EXPECT_TRUE(QTest::qWaitFor([&] { return strings.meter->value() == 100; }, 1000));
    window->close();
    EXPECT_FALSE(media.current()->metering) << "and not once closed";

    click("b.kar");
    EXPECT_EQ(window->summary()->text(), "No channel follows the words closely enough: no melody found.");
    EXPECT_FALSE(window->rows()[1].mute->isChecked()) << "the next song as written";
}

// The backing track from the words' menu: named beside the song, an
// existing file kept unless the user agrees, and a full disk or a Cancel
// leaving nothing behind, while the song plays on.
TEST_F(SingerViewsTest, SaveAsWaveWritesWholeOrNotAtAll)
{
    namespace fs = std::filesystem;
    const fs::path wave = path("a.wav");
    const auto files = [&] {
        std::set<fs::path> in;
        for (const auto& entry : fs::directory_iterator(wave.parent_path()))
            in.insert(entry.path());
        return in;
    };
    testing_support::MessageBoxes boxes;
    QString offered;
    const auto named = ui::SaveDialog::setHook([&](ui::SaveDialog& dialog) {
        offered = dialog.fileName();
        return true;
    });
    singer::WaveSaver& saver = views->waveSaver();
    QSignalSpy finished(&saver, &singer::WaveSaver::finished);
    const auto saveFromMenu = [&] {
        for (QAction* action : views->wordsWindow()->actions())
            if (action->text() == "Save as Wave…")
                action->trigger();
    };

    saveFromMenu();
    EXPECT_EQ(offered, qpath("a.wav"));
    ASSERT_TRUE(saver.busy());
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_TRUE(finished.last().at(1).toBool()) << finished.last().at(2).toString().toStdString();
    EXPECT_GT(fs::file_size(wave), 41u * 44100 * 4) << "the whole song, to its last words";
    EXPECT_EQ(session->state(), PlaybackSession::State::Playing);
    const auto before = fs::last_write_time(wave);
    const std::set<fs::path> saved = files();

    boxes.answer = ui::IDCANCEL;
    saveFromMenu();
    EXPECT_EQ(boxes.texts, std::vector<std::string> {"“a.wav” exists already. Replace it?"});
    EXPECT_FALSE(saver.busy()) << "not replaced without a yes";

    boxes.answer = ui::IDOK;
    {
        const testing_support::FileSizeLimit fullDisk(64 * 1024);
        saveFromMenu();
        ASSERT_TRUE(finished.wait(60000));
    }
    EXPECT_FALSE(finished.last().at(1).toBool());
    ASSERT_EQ(boxes.texts.size(), 3u) << finished.last().at(2).toString().toStdString() << boxes.texts.back();
    EXPECT_NE(boxes.texts.back().find("File too large"), std::string::npos) << boxes.texts.back();
    EXPECT_EQ(fs::last_write_time(wave), before) << "the old file kept";

    saveFromMenu();
    ASSERT_TRUE(saver.progress());
    QTest::mouseClick(saver.progress()->findChild<QPushButton*>(), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(finished.last().at(1).toBool());
    EXPECT_EQ(boxes.texts.size(), 4u) << "a Cancel is no error";
    EXPECT_EQ(fs::last_write_time(wave), before);
    EXPECT_EQ(files(), saved) << "no half-written file left";
    ui::SaveDialog::setHook(named);
}

// The host's queue window: a song dropped from the file manager goes in
// with the singer's name typed at once, entries move and go by the
// keyboard, and the room sees who follows, in the count-in and the rest.
TEST_F(SingerViewsTest, TheQueueWindowTakesDropsAndTheWordsTellWhoIsNext)
{
    const std::string hero = addFile("night/Hero.kar", 120000);
    media.setParts(hero, lateWords(-1));
    views->showQueue();
    singer::QueueWindow* window = views->queueWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QMimeData dragged;
    dragged.setUrls({QUrl::fromLocalFile(QString::fromStdString(hero)), QUrl::fromLocalFile(qpath("b.kar"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction) << "the file manager keeps its files";
    ASSERT_EQ(session->queue().size(), 2u);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_TRUE(editor && editor != window->table()) << "the first singer's name open for typing";
    QTest::keyClicks(editor, "Anna");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return session->queue()[0].announced() == "Anna – Hero"; }, 1000));
    EXPECT_EQ(window->summary()->text(), "Next: Anna – Hero");

    window->table()->selectRow(1);
    // A button's key presses it as a click would, a moment later.
    QTest::keyClick(window->table(), Qt::Key_Up, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return session->queue()[0].song() == "b"; }, 1000));
    QTest::keyClick(window->table(), Qt::Key_Delete);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->queue().size() == 1; }, 1000));
    EXPECT_EQ(window->table()->item(0, 0)->text(), "Anna");

    singer::LyricsWindow* words = views->wordsWindow();
    auto* next = words->findChild<QLabel*>("upNext");
    session->seekTo(38000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return next->isVisible(); }, 2000)) << "in the count-in before the words";
    EXPECT_EQ(next->text(), "Next: Anna – Hero");
    media.endByItself();
    EXPECT_TRUE(QTest::qWaitFor([&] { return session->state() == PlaybackSession::State::Stopped; }, 1000));
    EXPECT_TRUE(words->isVisible()) << "stopped at its end, a moment before the rest";
    session->tick();
    ASSERT_EQ(session->state(), PlaybackSession::State::Resting);
    EXPECT_TRUE(words->isVisible());
    EXPECT_TRUE(next->isVisible()) << "and in the rest after the song";
    EXPECT_TRUE(QTest::qWaitFor([&] { return current() == hero; }, 3000));
    EXPECT_TRUE(session->queue().empty());
}
