// Songs built to keep the player busy, opened and played as the player does
// from its event loop: the window's thread is never kept from its events
// for long, whatever a file holds, and the words still show.
#include "platform/mci/sequencer/sequencer_device.h"
#include "platform/midi/capture_output.h"
#include "playback/singer/sung_line.h"

#include "platform/multimedia/choices.h"
#include "tests/support/smf_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/words_view.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using namespace smf_builder;
using SongTrack = smf_builder::Track;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Instrumented code runs a few times slower; the bound grows with it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr auto kLongestWait = 600ms;
#else
constexpr auto kLongestWait = 200ms;
#endif

// Ticks every millisecond: the longest gap between two ticks is the longest
// the event loop was kept waiting.
class Watchdog {
public:
    Watchdog()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
        timer_.start(1);
    }
    Clock::duration longest() const { return longest_; }

private:
    QTimer timer_;
    Clock::time_point last_ = Clock::now();
    Clock::duration longest_ {};
};

// A second of a note beside the words.
std::string karaoke(const SongTrack& words)
{
    return file(1, 480, {SongTrack().ev(0, {0x90, 60, 100}).ev(480, {0x80, 60, 0}).end(), words});
}

struct Hostile {
    const char* what;
    std::string path;
    bool words;
};

class HostileSongsTest : public testing::Test {
protected:
    void SetUp() override
    {
        choices.overrides.midiOutput = "capture";
        midi::sharedCapture()->clear();
    }
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // Opens and plays SONG from the event loop, waits until it is read (or
    // refused), lets it play a moment and closes it; returns the longest the
    // event loop waited meanwhile.
    Clock::duration openAndPlay(const Hostile& song)
    {
        std::unique_ptr<mci::Device> device;
        testing_support::WordsWindow window;
        bool refused = false;
        Watchdog watchdog;
        QTimer::singleShot(0, [&] {
            device = mci::makeSequencerDevice(choices);
            refused = !device->open(song.path).ok();
            uint32_t position = 0, length = 0;
            if (!refused && device->position(position).ok() && device->length(length).ok() && position == length)
                device->seekToStart();
            device->play();
        });
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return refused || (device && device->mode() != mci::Mode::NotReady); }, 20000))
            << song.what;
        if (!refused)
            window = testing_support::wordsWindowOf(*device);
        QTest::qWait(300);
        if (song.words) {
            EXPECT_TRUE(window && window->isVisible() && !window->currentLine()->text().isEmpty()) << song.what;
            EXPECT_LE(device->text().words.size(), 256u * 1024) << song.what;
        }
        QTimer::singleShot(0, [&] {
            window.reset();
            device.reset();
        });
        QTest::qWait(50);
        return watchdog.longest();
    }

    testing_support::TempDir dir;
    multimedia::Choices choices;
};

} // namespace

TEST_F(HostileSongsTest, NoSongKeepsTheWindowWaiting)
{
    std::string lyric;
    while (lyric.size() < (1u << 20))
        lyric += "karaoke ";
    std::string accents = "a";
    for (int i = 0; i < 200000; ++i)
        accents += "\xCC\x81";
    SongTrack syllables;
    for (int i = 0; i < 1000000; ++i)
        syllables.meta(i == 0 ? 0 : 1, 5, i % 8 == 7 ? "la\r" : "la ");
    SongTrack notes;
    for (int i = 0; i < 500000; ++i)
        notes.ev(0, {0x90, 36 + i % 48, 100}).ev(0, {0x80, 36 + i % 48, 0});
    // A file of zeros, sparse: read back it is 200 MB all the same.
    const std::string zeros = dir.write("zeros.mid", "");
    std::filesystem::resize_file(zeros, 200u << 20);

    const Hostile songs[] = {
        {"a lyric of 1 MB", dir.write("lyric.kar", karaoke(SongTrack().meta(0, 5, lyric).end())), true},
        {"a letter under 200,000 accents", dir.write("accents.kar", karaoke(SongTrack().meta(0, 5, accents).end())),
            true},
        {"1,000,000 syllables", dir.write("syllables.kar", karaoke(syllables.end())), true},
        {"200 MB of zeros", zeros, false},
        {"500,000 notes at one tick", dir.write("notes.mid", file(0, 480, {notes.end()})), false},
    };
    for (const Hostile& song : songs)
        EXPECT_LT(openAndPlay(song), kLongestWait) << song.what;
}
