// The words of a karaoke song in the sequencer's own window, played in real
// time into the capture output: the highlight keeps to the sound.
#include "platform/mci/sequencer/sequencer_device.h"
#include "platform/midi/capture_output.h"

#include "framework/application.h"
#include "platform/mci/device_window.h"
#include "platform/mci/sequencer/lyrics_window.h"
#include "platform/mci/sequencer/sung_line.h"
#include "platform/multimedia/choices.h"
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

using namespace smf_builder;
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
    Track words, notes;
    for (int i = 0; i < kSyllables; ++i) {
        words.meta(i == 0 ? 0 : kStep, 5, "la" + std::to_string(i) + (i % 4 == 3 ? "\r" : " "));
        // Each note sounds with its syllable and ends half a step later.
        notes.ev(i == 0 ? 0 : kStep / 2, {0x90, 60 + i % 12, 100}).ev(kStep / 2, {0x80, 60 + i % 12, 0});
    }
    return file(1, 480, {Track().meta(0, 1, "@TLa Song").end(), notes.end(kStep), words.end(kStep)});
}

class LyricsWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        choices.overrides.midiOutput = "capture";
        capture = midi::sharedCapture();
        capture->clear();
        song = dir.write("la.kar", karaokeSong());
    }
    // A closed device's window goes with the event loop: not into the next test.
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    std::unique_ptr<mci::Device> open()
    {
        auto device = mci::makeSequencerDevice(choices);
        const mci::Result r = device->open(song);
        EXPECT_TRUE(r.ok()) << r.text;
        device->setTimeFormat(mci::TimeFormat::Milliseconds);
        return device;
    }
    static mci::sequencer::LyricsWindow* lyrics()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* window = dynamic_cast<mci::sequencer::LyricsWindow*>(w); window && window->onSung != nullptr)
                return window;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* window = dynamic_cast<mci::sequencer::LyricsWindow*>(w))
                return window;
        return nullptr;
    }
    static uint32_t positionMs(mci::Device& device)
    {
        uint32_t ms = 0;
        device.position(ms);
        return ms;
    }
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
    std::string song;
};

} // namespace

TEST_F(LyricsWindowTest, TheHighlightKeepsToTheSoundThroughPlaySeekPauseAndTempo)
{
    auto device = open();
    QPointer<mci::sequencer::LyricsWindow> window = lyrics();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->property(mci::kDeviceWindowProperty).toBool());
    EXPECT_FALSE(window->isVisible()) << "shown only once the song plays";
    EXPECT_EQ(window->windowTitle(), "La Song");
    EXPECT_EQ(device->text().title, "La Song");
    EXPECT_EQ(device->text().words.substr(0, 32), "la0 la1 la2 la3\nla4 la5 la6 la7\n");

    std::vector<std::pair<size_t, Clock::time_point>> highlights;
    window->onSung = [&](size_t sung) { highlights.emplace_back(sung, Clock::now()); };
    const auto checkNow = [&](const char* when) {
        const uint32_t ms = positionMs(*device);
        const auto [least, most] = sungAround(ms);
        EXPECT_GE(int64_t(window->sung()), least) << when << " at " << ms << " ms";
        EXPECT_LE(int64_t(window->sung()), most) << when << " at " << ms << " ms";
    };

    // Slower from the start, faster on the way: the position is the song's
    // own, so the window's count stays where the position says.
    ASSERT_TRUE(device->setTempo(80).ok());
    ASSERT_TRUE(device->play().ok());
    EXPECT_TRUE(window->isVisible());
    for (int i = 0; i < 16; ++i) {
        if (i == 8) {
            ASSERT_TRUE(device->setTempo(150).ok());
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

    ASSERT_TRUE(device->seek(2000).ok()); // a bar's seek: stopped there, then played
    EXPECT_EQ(window->sung(), 2000000 / kStepUs + 1) << "moved at once";
    ASSERT_TRUE(device->play().ok());
    EXPECT_TRUE(window->isVisible());
    QTest::qWait(170);
    checkNow("after a seek");

    ASSERT_TRUE(device->pause().ok());
    const size_t paused = window->sung();
    checkNow("paused");
    QTest::qWait(300);
    EXPECT_EQ(window->sung(), paused) << "the words wait while paused";
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(device->resume().ok());
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

TEST_F(LyricsWindowTest, StopTheEndEscapeAndTheCloseTakeTheWindowAway)
{
    auto device = open();
    QPointer<mci::sequencer::LyricsWindow> window = lyrics();
    ASSERT_TRUE(window);
    ASSERT_TRUE(device->play().ok());
    QTest::qWait(300);
    ASSERT_TRUE(device->stop().ok());
    EXPECT_FALSE(window->isVisible());
    ASSERT_TRUE(device->play().ok());
    EXPECT_TRUE(window->isVisible()) << "play shows it again";
    const auto [least, most] = sungAround(positionMs(*device));
    EXPECT_GE(int64_t(window->sung()), least) << "where the song stands";
    EXPECT_LE(int64_t(window->sung()), most) << "where the song stands";

    ASSERT_TRUE(device->seek(5500).ok());
    ASSERT_TRUE(device->play().ok());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 3000)) << "the end hides it";
    EXPECT_EQ(window->sung(), size_t(kSyllables));

    ASSERT_TRUE(device->seek(0).ok());
    ASSERT_TRUE(device->play().ok());
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
    ASSERT_TRUE(device->pause().ok());
    ASSERT_TRUE(device->resume().ok());
    EXPECT_FALSE(window->isVisible()) << "closed by the user, it stays away for this song";

    device->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull()) << "the close takes it";

    device = open();
    window = lyrics();
    ASSERT_TRUE(window) << "a new song brings it back";
    ASSERT_TRUE(device->play().ok());
    EXPECT_TRUE(window->isVisible());
    device.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());

    choices.showWords = false;
    device = open();
    EXPECT_EQ(lyrics(), nullptr) << "turned off";
    EXPECT_FALSE(device->text().words.empty()) << "the desktop still has the words";
}

// The singer's keys and the window's menu ask the device's caller, who sets
// what it takes; the window shows what is set and asks nothing past a bound.
TEST_F(LyricsWindowTest, TheSingersKeysAndMenuAskForKeyAndTempo)
{
    auto device = open();
    std::vector<std::pair<int, int>> asked;
    device->setSingerAsk([&](int semitones, int percent) { asked.emplace_back(semitones, percent); });
    QPointer<mci::sequencer::LyricsWindow> window = lyrics();
    ASSERT_TRUE(window);
    ASSERT_TRUE(device->play().ok());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* shown = window->findChild<QLabel*>("keyAndTempo");
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->isVisible()) << "the song's own key and tempo";

    QTest::keyClick(window, Qt::Key_Down);
    QTest::keyClick(window, Qt::Key_Right);
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>> {{-1, 100}, {0, 105}})) << "asked, not taken";
    EXPECT_FALSE(shown->isVisible());

    ASSERT_TRUE(device->setTranspose(-2).ok());
    ASSERT_TRUE(device->setTempo(200).ok());
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->text(), "Key -2   Tempo 200 %");
    asked.clear();
    QTest::keyClick(window, Qt::Key_Right); // the fastest already
    QTest::keyClick(window, Qt::Key_Plus);
    QStringList menu;
    for (QAction* action : window->actions()) {
        if (action->isSeparator())
            continue;
        menu << action->text();
        if (action->text() == "Original Tempo")
            action->trigger();
    }
    EXPECT_EQ(menu,
        (QStringList {
            "Key Up", "Key Down", "Original Key", "Faster", "Slower", "Original Tempo", "Full Screen", "Close Words"}));
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>> {{-1, 200}, {-2, 100}}));
}
