// The words window as a room sings from it: sized by the user or over the
// whole screen, a count-in where the singing pauses, its place kept. The
// window follows a clock the test sets, as it follows the song's.
#include "platform/midi/smf.h"
#include "playback/singer/lyrics_window.h"
#include "playback/singer/sung_line.h"
#include "playback/singer/words_page.h"

#include "tests/support/smf_builder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QResizeEvent>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

using namespace smf_builder;
using singer::LyricsWindow;

namespace {

// 480 ticks a quarter at 120 a minute: 960 ticks a second.
constexpr uint32_t kSecond = 960;
constexpr uint32_t kBeat = kSecond / 4;
const std::string kLongLine = "Sing it loud and sing it long until the morning light";

// A .kar as they come: the file's kind and its information in texts, the
// words as texts marked with \ (a paragraph) and / (a line), the tune in a
// track of its own. Pauses in the singing: 3 s after the first line, 5 s
// after the long third.
std::shared_ptr<const midi::Words> nightSong()
{
    smf_builder::Track words;
    for (const char* info : {"@KMIDI KARAOKE FILE", "@V0100", "@LENGL", "@TNight Song", "@TThe Band", "@IWords by Ann"})
        words.meta(0, 1, info);
    uint32_t wait = kSecond * 3 / 2; // the first syllable at 1.5 s
    const auto sing = [&](const std::string& line, char mark) {
        std::string syllable(1, mark);
        for (char c : line + " ") {
            syllable += c;
            if (c == ' ') {
                words.meta(wait, 1, syllable);
                wait = kBeat;
                syllable.clear();
            }
        }
    };
    sing("Night falls on the town", '\\'); // 1.5 to 2.5 s
    wait = 3 * kSecond;
    sing("Lights go on one by one", '/'); // 5.5 to 6.75 s
    wait = kBeat;
    sing(kLongLine, '/'); // 7 to 9.25 s
    wait = 5 * kSecond;
    sing("And the night is gone", '\\'); // 14.25 s on
    for (const char* line : {"We sing on", "Until the day", "Comes again", "To the town"}) {
        wait = kBeat;
        sing(line, '/');
    }
    smf_builder::Track tune;
    tune.ev(kSecond, {0x90, 57, 90}).ev(24 * kSecond, {0x80, 57, 0});
    const std::string bytes
        = file(1, 480, {smf_builder::Track().tempo(0, 500000).end(), words.end(kSecond), tune.end()});
    midi::Song song;
    std::string error;
    EXPECT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, song, error)) << error;
    return std::make_shared<const midi::Words>(midi::readWords(song));
}

// The song's clock: set at a time, then running.
struct SongClock {
    uint64_t at = 0;
    QElapsedTimer since;
    void set(double seconds)
    {
        at = uint64_t(seconds * 1e6);
        since.start();
    }
    uint64_t now() const { return at + uint64_t(since.nsecsElapsed() / 1000); }
};

class WordsScreenTest : public testing::Test {
protected:
    using Window = std::unique_ptr<LyricsWindow, LyricsWindow::Disposer>;

    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    // The words window as the singer's views make it: where the last one
    // went, and telling where it goes.
    Window open()
    {
        Window window(new LyricsWindow(
            "Night Song", words, [this] { return clock.now(); }, stored));
        window->onPlaceKept = [this](const QByteArray& place) {
            stored = place;
            ++saved;
        };
        return window;
    }
    // The song moved to SECONDS and played from there, as a seek does it.
    void playFrom(LyricsWindow& window, double seconds)
    {
        clock.set(seconds);
        window.halted();
        window.playing();
    }
    static QLabel* label(LyricsWindow& window, const char* name) { return window.findChild<QLabel*>(name); }
    static bool counting(LyricsWindow& window) { return label(window, "countIn")->isVisible(); }

    std::shared_ptr<const midi::Words> words = nightSong();
    SongClock clock;
    QByteArray stored; // the place kept for the next song
    int saved = 0;
};

} // namespace

TEST_F(WordsScreenTest, ALargerWindowShowsLargerTextAndTheSungLineWhole)
{
    Window window = open();
    playFrom(*window, 9.0); // in the middle of the long line
    int pixels = 0;
    size_t lines = 0;
    for (const QSize size : {QSize(300, 150), QSize(560, 300), QSize(800, 600)}) {
        window->resize(size);
        QCoreApplication::processEvents();
        const singer::SungLine* sung = window->currentLine();
        ASSERT_EQ(sung->text().trimmed().toStdString(), kLongLine) << size.width();
        EXPECT_GT(sung->sung(), 0);
        EXPECT_LT(sung->sung(), sung->text().size());
        EXPECT_TRUE(sung->isVisible()) << size.width();
        EXPECT_TRUE(window->rect().contains(sung->geometry())) << size.width() << " cut by the window";
        EXPECT_GE(sung->height(), sung->heightForWidth(sung->width())) << size.width() << " cut short";
        if (size.width() == 300) {
            EXPECT_GE(sung->height(), 2 * sung->fontMetrics().lineSpacing()) << "wrapped, not cut";
        }
        EXPECT_GT(sung->fontInfo().pixelSize(), pixels) << size.width();
        pixels = sung->fontInfo().pixelSize();

        size_t shown = 0;
        for (const auto* line : window->findChildren<singer::SungLine*>()) {
            if (!line->isVisible())
                continue;
            ++shown;
            EXPECT_TRUE(window->rect().contains(line->geometry())) << size.width() << " " << line->text().size();
        }
        EXPECT_GE(shown, lines) << size.width();
        lines = shown;
    }
    EXPECT_GE(lines, 3u) << "the lines to come fill a large window";
    EXPECT_EQ(window->nextLine()->text().trimmed(), "And the night is gone");
}

// A room reads the screen from afar: the sung line spans most of its width
// with a few lines to come, and the dark look is light on black, the sung
// syllables in a colour of their own.
TEST_F(WordsScreenTest, OverTheWholeScreenTheSungLineSpansItForARoom)
{
    Window window = open();
    playFrom(*window, 5.6); // "Lights go on one by one", sung
    window->showFullScreen();
    QCoreApplication::processEvents();
    const singer::SungLine* sung = window->currentLine();
    ASSERT_EQ(sung->text().trimmed(), "Lights go on one by one");
    const int spans = sung->fontMetrics().horizontalAdvance(sung->text().trimmed());
    EXPECT_GE(spans, window->width() * 8 / 10) << "of " << window->width();
    EXPECT_LE(spans, window->width());
    size_t toCome = 0;
    for (const auto* line : window->findChildren<singer::SungLine*>())
        toCome += line != sung && line->isVisible();
    EXPECT_GE(toCome, 2u);
    EXPECT_LE(toCome, 4u);

    window->setDark(true);
    const QPalette& p = sung->palette();
    EXPECT_EQ(p.color(QPalette::Window), Qt::black);
    EXPECT_EQ(p.color(QPalette::WindowText), Qt::white);
    const QColor highlight = p.color(QPalette::Highlight);
    for (const QPalette::ColorRole other : {QPalette::WindowText, QPalette::PlaceholderText}) {
        const QColor c = p.color(other);
        EXPECT_GT(
            std::hypot(highlight.red() - c.red(), highlight.green() - c.green(), highlight.blue() - c.blue()), 150.0)
            << "the sung syllables stand out";
    }
}

TEST_F(WordsScreenTest, F11OrADoubleClickFillTheScreenAndEscapeLeavesItBeforeClosing)
{
    Window window = open();
    playFrom(*window, 2.0);
    ASSERT_TRUE(window->isVisible());
    window->activateWindow(); // the singer turns to it: it came without the keyboard
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F11);
    EXPECT_TRUE(window->isFullScreen());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isFullScreen());
    EXPECT_TRUE(window->isVisible()) << "the first Escape only leaves the full screen";

    QTest::mouseDClick(window->currentLine(), Qt::LeftButton);
    EXPECT_TRUE(window->isFullScreen()) << "a double-click on the words";
    QTest::mouseDClick(window->currentLine(), Qt::LeftButton);
    EXPECT_FALSE(window->isFullScreen());

    // From the player's window as from the words' own.
    QTest::keyClick(window.get(), Qt::Key_F11);
    window->escape();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isFullScreen());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible()) << "the second Escape closes the words";
    playFrom(*window, 5.0);
    EXPECT_FALSE(window->isVisible()) << "closed for the song";

    EXPECT_TRUE(window->reopen());
    EXPECT_TRUE(window->isVisible()) << "brought back during the song";
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->sung() == 6; }, 1500)) << "and following it again";
    window->escape();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WordsScreenTest, ACountInShowsTheSongBeforeTheWordsAndAcrossALongPause)
{
    clock.set(0);
    Window window = open();
    window->playing();
    ASSERT_TRUE(counting(*window));
    EXPECT_EQ(label(*window, "countIn")->text(), "2") << "1.5 s to the first syllable";
    EXPECT_TRUE(label(*window, "title")->isVisible());
    EXPECT_EQ(label(*window, "title")->text(), "Night Song");
    QStringList information;
    for (const QLabel* l : window->findChildren<QLabel*>("information"))
        if (l->isVisible())
            information << l->text();
    EXPECT_EQ(information, QStringList({"The Band", "Words by Ann"})) << "without what only programs read";
    EXPECT_TRUE(window->currentLine()->isVisible());
    EXPECT_EQ(window->currentLine()->text().trimmed(), "Night falls on the town") << "the line to sing, ready";
    EXPECT_EQ(window->currentLine()->sung(), 0);

    EXPECT_TRUE(QTest::qWaitFor([&] { return label(*window, "countIn")->text() == "1"; }, 1000)) << "counts down";
    EXPECT_GE(clock.now(), 500000u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->sung() == 1; }, 1500));
    EXPECT_FALSE(counting(*window)) << "the words begin";
    EXPECT_FALSE(label(*window, "title")->isVisible());

    playFrom(*window, 4.0); // a pause of 3 s in the singing: no count-in
    EXPECT_FALSE(counting(*window));
    EXPECT_EQ(window->currentLine()->text().trimmed(), "Night falls on the town");

    playFrom(*window, 9.5); // the long line just sung, a pause of 5 s ahead
    EXPECT_FALSE(counting(*window)) << "the line sung stays a moment";
    EXPECT_TRUE(QTest::qWaitFor([&] { return counting(*window); }, 2000));
    EXPECT_EQ(label(*window, "countIn")->text(), "4") << "3.5 s left";
    EXPECT_EQ(window->currentLine()->text().trimmed(), "And the night is gone");
    EXPECT_EQ(window->currentLine()->sung(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return label(*window, "countIn")->text() == "3"; }, 1000));
}

TEST_F(WordsScreenTest, TheNextSongsWordsComeWhereTheUserLeftThem)
{
    Window first = open();
    playFrom(*first, 2.0);
    first->setGeometry(40, 60, 500, 260);
    first->stopped();
    EXPECT_EQ(saved, 1);
    EXPECT_FALSE(stored.isEmpty());

    Window second = open(); // the next song, or the next run
    playFrom(*second, 2.0);
    EXPECT_EQ(second->geometry(), QRect(40, 60, 500, 260));
    second->showFullScreen();
    second.reset();

    Window third = open();
    playFrom(*third, 2.0);
    EXPECT_TRUE(third->isFullScreen()) << "a room's screen stays one";
    third->stopped();
    EXPECT_EQ(saved, 2) << "a place unchanged is not written again";
}

// A place kept from a larger desktop, or made by hand, larger than this
// screen, a full screen's place to come back to too: the words come inside
// the screen, never laid out at the kept size, and the place kept then is
// the fitted one, for the next run to find.
TEST_F(WordsScreenTest, APlaceLargerThanTheScreenComesInsideIt)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const auto inside = [&](const QByteArray& place, bool fullScreen) {
        QWidget kept;
        EXPECT_TRUE(kept.restoreGeometry(place));
        EXPECT_EQ(kept.isFullScreen(), fullScreen);
        return area.contains(kept.normalGeometry().isValid() ? kept.normalGeometry() : kept.geometry());
    };
    for (const bool fullScreen : {false, true}) {
        QWidget huge;
        huge.setGeometry(0, 0, 32767, 32767);
        if (fullScreen)
            huge.setWindowState(Qt::WindowFullScreen);
        stored = huge.saveGeometry();
        ASSERT_FALSE(inside(stored, fullScreen));

        Window window = open();
        QSize largest;
        struct Sizes final : QObject {
            QSize& largest;
            explicit Sizes(QSize& l) : largest(l) { }
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::Resize)
                    largest = largest.expandedTo(static_cast<QResizeEvent*>(e)->size());
                return false;
            }
        } sizes(largest);
        window->installEventFilter(&sizes);
        playFrom(*window, 2.0);
        QCoreApplication::processEvents();
        EXPECT_EQ(window->isFullScreen(), fullScreen);
        if (fullScreen) {
            window->escape();
            QCoreApplication::processEvents();
        }
        ASSERT_TRUE(window->isVisible()) << fullScreen;
        EXPECT_TRUE(area.contains(window->frameGeometry())) << fullScreen;
        EXPECT_LE(largest.width(), area.width()) << fullScreen;
        EXPECT_LE(largest.height(), area.height()) << fullScreen;
        window->removeEventFilter(&sizes);
        if (fullScreen)
            window->showFullScreen();
        window->stopped();
        EXPECT_TRUE(inside(stored, fullScreen)) << fullScreen;
    }
}
