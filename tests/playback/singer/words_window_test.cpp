// The words of a karaoke song in their window, a view of the session that
// plays the song in real time into the capture output: the highlight keeps
// to the sound through the session's commands.
#include "playback/singer/singer_views.h"

#include "framework/application.h"
#include "platform/mci/device_window.h"
#include "platform/mci/drivers/drivers.h"
#include "platform/midi/capture_output.h"
#include "platform/multimedia/choices.h"
#include "playback/playback_session.h"
#include "playback/singer/sung_line.h"
#include "tests/support/smf_builder.h"
#include "tests/support/temp_dir.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>

using smf_builder::file;
using SongTrack = smf_builder::Track;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// 480 ticks a quarter at 120 a minute. A syllable and a note every 240 ticks
// (250 ms), four to a line: 24 syllables, 6 s.
constexpr int kSyllables = 24;
constexpr int kStep = 240;
constexpr uint64_t kStepUs = 250000;
constexpr int64_t kSlackUs = 30000;

std::string karaokeSong()
{
    SongTrack words, notes;
    for (int i = 0; i < kSyllables; ++i) {
        words.meta(i == 0 ? 0 : kStep, 5, "la" + std::to_string(i) + (i % 4 == 3 ? "\r" : " "));
        // Each note sounds with its syllable and ends half a step later.
        notes.ev(i == 0 ? 0 : kStep / 2, {0x90, 60 + i % 12, 100}).ev(kStep / 2, {0x80, 60 + i % 12, 0});
    }
    return file(1, 480, {SongTrack().meta(0, 1, "@TLa Song").end(), notes.end(kStep), words.end(kStep)});
}

class WordsWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        mci::registerBuiltinDrivers();
        choices.overrides.midiOutput = "capture";
        capture = midi::sharedCapture();
        capture->clear();
        song = QString::fromStdString(dir.write("la.kar", karaokeSong()));
        session = std::make_unique<PlaybackSession>(SessionSetup {.choices = [this] { return choices; }});
        session->setTracks(QString::fromStdString(dir.path()), {"la.kar"});
        views = std::make_unique<SingerViews>(*session);
    }
    // A closed song's window goes with the event loop: not into the next test.
    void TearDown() override
    {
        views.reset();
        session.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    singer::LyricsWindow* start()
    {
        session->playEntry(0);
        EXPECT_TRUE(session->track().reason.isEmpty()) << session->track().reason.toStdString();
        return views->wordsWindow();
    }
    uint32_t positionMs() { return uint32_t(session->positionMs()); }
    // Syllables due by a position within the slack of MS: the highlight may
    // show any of these counts.
    static std::pair<int64_t, int64_t> sungAround(uint32_t ms)
    {
        const auto due = [](int64_t us) { return us < 0 ? 0 : std::min<int64_t>(us / kStepUs + 1, kSyllables); };
        return {due(int64_t(ms) * 1000 - kSlackUs), due(int64_t(ms) * 1000 + kSlackUs)};
    }

    testing_support::TempDir dir;
    multimedia::Choices choices;
    std::shared_ptr<midi::CaptureOutput> capture;
    QString song;
    std::unique_ptr<PlaybackSession> session;
    std::unique_ptr<SingerViews> views;
};

} // namespace

TEST_F(WordsWindowTest, TheHighlightKeepsToTheSoundThroughPlaySeekPauseAndTempo)
{
    std::vector<std::pair<size_t, Clock::time_point>> highlights;
    QPointer<singer::LyricsWindow> window = start();
    ASSERT_TRUE(window);
    window->onSung = [&](size_t sung) { highlights.emplace_back(sung, Clock::now()); };
    EXPECT_TRUE(window->property(mci::kDeviceWindowProperty).toBool());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "La Song");
    EXPECT_EQ(session->track().text.words.substr(0, 32), "la0 la1 la2 la3\nla4 la5 la6 la7\n");
    const auto checkNow = [&](const char* when) {
        const uint32_t ms = positionMs();
        const auto [least, most] = sungAround(ms);
        EXPECT_GE(int64_t(window->sung()), least) << when << " at " << ms << " ms";
        EXPECT_LE(int64_t(window->sung()), most) << when << " at " << ms << " ms";
    };

    // Slower at once, faster on the way: the position is the song's own, so
    // the window's count stays where the position says.
    ASSERT_TRUE(session->setTempo(80));
    for (int i = 0; i < 16; ++i) {
        if (i == 8) {
            ASSERT_TRUE(session->setTempo(150));
        }
        QTest::qWait(83);
        checkNow("playing");
    }
    // Every highlight since the start came within the slack of its note.
    const auto messages = capture->messages();
    for (const auto& [sung, at] : highlights) {
        if (sung < 2)
            continue;
        size_t on = 0;
        for (const midi::CapturedMessage& m : messages) {
            if ((m.bytes[0] & 0xF0) == 0x90 && ++on == sung) {
                const auto late = std::chrono::duration_cast<std::chrono::microseconds>(at - m.sent).count();
                EXPECT_LE(std::abs(late), kSlackUs) << "syllable " << sung - 1;
            }
        }
    }

    session->seekTo(2000); // a bar's seek: moved, and played on from there
    EXPECT_EQ(window->sung(), 2000000 / kStepUs + 1) << "moved at once";
    EXPECT_TRUE(window->isVisible());
    QTest::qWait(170);
    checkNow("after a seek");

    ASSERT_TRUE(session->pauseOrResume());
    const size_t paused = window->sung();
    checkNow("paused");
    QTest::qWait(300);
    EXPECT_EQ(window->sung(), paused) << "the words wait while paused";
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(session->pauseOrResume());
    QTest::qWait(260); // past the next syllable at any tempo
    checkNow("resumed");
    EXPECT_GT(window->sung(), paused);

    // What a screen reader reads: the line's words, without markup.
    QAccessibleInterface* line = QAccessible::queryAccessibleInterface(window->currentLine());
    ASSERT_NE(line, nullptr);
    const size_t first = (window->sung() - 1) / 4 * 4;
    EXPECT_EQ(line->text(QAccessible::Name).toStdString(),
        "la" + std::to_string(first) + " la" + std::to_string(first + 1) + " la" + std::to_string(first + 2) + " la"
            + std::to_string(first + 3));
}

TEST_F(WordsWindowTest, StopTheEndEscapeAndTheNextSongTakeTheWindowAway)
{
    session->setAutoAdvance(false);
    QPointer<singer::LyricsWindow> window = start();
    ASSERT_TRUE(window);
    QTest::qWait(300);
    ASSERT_TRUE(session->stop());
    EXPECT_FALSE(window->isVisible());
    ASSERT_TRUE(session->toStart());
    EXPECT_FALSE(window->isVisible()) << "a rewind while stopped shows nothing";
    ASSERT_TRUE(session->play());
    EXPECT_TRUE(window->isVisible()) << "play shows it again";
    ASSERT_TRUE(session->toStart());
    EXPECT_TRUE(window->isVisible()) << "a rewind while playing keeps the words";
    EXPECT_EQ(window->sung(), 1u);
    ASSERT_TRUE(session->play());

    session->seekTo(5500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 3000)) << "the end hides it";
    EXPECT_EQ(window->sung(), size_t(kSyllables));

    session->seekTo(0);
    ASSERT_TRUE(window->isVisible());
    // Turning to it is not turning to another form of the program.
    std::vector<QWidget*> activated;
    QObject::connect(
        ui::application(), &ui::Application::formActivated, window, [&](QWidget* w) { activated.push_back(w); });
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(window, &activate);
    EXPECT_TRUE(activated.empty());

    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible()) << "Escape closes it";
    ASSERT_TRUE(session->pauseOrResume());
    ASSERT_TRUE(session->pauseOrResume());
    EXPECT_FALSE(window->isVisible()) << "closed by the user, it stays away for this song";
    EXPECT_TRUE(views->reopenWords());
    EXPECT_TRUE(window->isVisible()) << "brought back";

    session->playEntry(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull()) << "the song's next start takes it";
    window = views->wordsWindow();
    ASSERT_TRUE(window) << "and brings its own";
    EXPECT_TRUE(window->isVisible());

    choices.showWords = false;
    session->playEntry(0);
    EXPECT_EQ(views->wordsWindow(), nullptr) << "turned off";
    EXPECT_FALSE(session->track().text.words.empty()) << "the desktop still has the words";
}

// The singer's keys and the window's menu ask the session, which sets what
// it takes; the window shows what is set and asks nothing past a bound.
TEST_F(WordsWindowTest, TheSingersKeysAndMenuSetKeyAndTempo)
{
    QPointer<singer::LyricsWindow> window = start();
    ASSERT_TRUE(window);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* shown = window->findChild<QLabel*>("keyAndTempo");
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->isVisible()) << "the song's own key and tempo";

    QTest::keyClick(window, Qt::Key_Down);
    QTest::keyClick(window, Qt::Key_Right);
    EXPECT_EQ(session->track().transpose, -1);
    EXPECT_EQ(session->track().tempo, 105);
    EXPECT_EQ(shown->text(), "Key -1   Tempo 105 %");

    ASSERT_TRUE(session->setTranspose(-2)); // another view's
    ASSERT_TRUE(session->setTempo(200));
    EXPECT_EQ(shown->text(), "Key -2   Tempo 200 %");
    QTest::keyClick(window, Qt::Key_Right); // the fastest already
    EXPECT_EQ(session->track().tempo, 200);
    QStringList menu;
    for (QAction* action : window->actions()) {
        if (action->isSeparator())
            continue;
        menu << action->text();
        if (action->text() == "Original Tempo" || action->text() == "Original Key")
            action->trigger();
    }
    EXPECT_EQ(menu,
        (QStringList {"Pause/Resume", "Back to Start", "Skip to Words", "Next Song", "Key Up", "Key Down",
            "Original Key", "Key for My Voice", "My Voice…", "Faster", "Slower", "Original Tempo", "Loop Start Here",
            "Loop End Here", "Loop Off", "Melody Guide: Full", "Melody Guide: Quiet", "Melody Guide: Off", "Channels…",
            "Save as Wave…", "Queue…", "Full Screen", "Full Screen On", "Dark Look", "Forget This Song",
            "Close Words"}));
    EXPECT_EQ(session->track().transpose, 0);
    EXPECT_EQ(session->track().tempo, 100);
    EXPECT_FALSE(shown->isVisible());
}
