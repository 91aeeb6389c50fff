// The playback thread against an output that takes its time, as the
// synthesizer's queue does when a song sends a flood of messages at once.
#include "platform/midi/capture_output.h"
#include "platform/midi/player.h"

#include "tests/support/smf_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace smf_builder;
using namespace std::chrono_literals;

namespace {

// Takes no message until opened; keeps the last two it took.
class GatedOutput final : public midi::Output {
public:
    void send(std::span<const uint8_t> message, midi::TimePoint) override
    {
        std::unique_lock lock(mutex_);
        waiting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        ++count_;
        last_[0] = last_[1];
        last_[1].assign(message.begin(), message.end());
        changed_.notify_all();
    }
    void waitForASender()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_; });
    }
    void open()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool waitForCount(size_t n, std::chrono::seconds limit)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return count_ >= n; });
    }
    std::vector<uint8_t> last(int i)
    {
        std::lock_guard lock(mutex_);
        return last_[i];
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool waiting_ = false;
    size_t count_ = 0;
    std::vector<uint8_t> last_[2];
};

// Runs CALL and tells whether it came back within a time a window would not
// notice. A call stuck behind the output is freed by opening it.
template <typename Call>
bool answersAtOnce(GatedOutput& output, Call&& call)
{
    auto done = std::async(std::launch::async, std::forward<Call>(call));
    if (done.wait_for(200ms) == std::future_status::ready)
        return true;
    output.open();
    return false;
}

} // namespace

TEST(Player, AFloodAtOneInstantNeverHoldsUpTheWindowsCalls)
{
    constexpr int pairs = 100000;
    Track flood;
    for (int i = 0; i < pairs; ++i)
        flood.ev(0, {0x90, 60, 100}).ev(0, {0x80, 60, 0});
    const std::string bytes = file(0, 500, {flood.end(1000)});
    auto song = std::make_shared<midi::Song>();
    std::string error;
    ASSERT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error));
    auto output = std::make_shared<GatedOutput>();
    {
        midi::Player player(song, output);
        player.play();
        output->waitForASender();

        // The output holds the playback thread; the window's calls still answer.
        uint32_t position = 1;
        EXPECT_TRUE(answersAtOnce(*output, [&] { position = player.positionMs(); }));
        EXPECT_LT(position, 1000u);
        EXPECT_TRUE(answersAtOnce(*output, [&] { player.pause(); }));
        midi::Sequence::State state = midi::Sequence::State::Playing;
        EXPECT_TRUE(answersAtOnce(*output, [&] { state = player.state(); }));
        EXPECT_EQ(state, midi::Sequence::State::Paused);

        // Everything due at the pause still goes out, as fast as the output
        // takes it, and the silence after it.
        output->open();
        ASSERT_TRUE(output->waitForCount(2 * pairs + 2, 30s));
        EXPECT_EQ(output->last(0), (std::vector<uint8_t>{0xB0, 123, 0}));
        EXPECT_EQ(output->last(1), (std::vector<uint8_t>{0xB0, 64, 0}));
    }
}

namespace {

// Takes every message, each after a moment, as a synthesizer's full queue does.
class SlowOutput final : public midi::Output {
public:
    void send(std::span<const uint8_t>, midi::TimePoint) override
    {
        std::this_thread::sleep_for(50us);
        count.fetch_add(1);
    }
    std::atomic<size_t> count {0};
};

} // namespace

// Closing (the user's next file) or stopping gives up what the flood had
// left: neither waits for the output to take it all.
TEST(Player, ACloseOrAStopDoesNotWaitForTheBacklog)
{
    Track flood;
    for (int i = 0; i < 100000; ++i)
        flood.ev(0, {0x90, 60, 100}).ev(0, {0x80, 60, 0});
    const std::string bytes = file(0, 500, {flood.end(1000)});
    auto song = std::make_shared<midi::Song>();
    std::string error;
    ASSERT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error));
    for (const bool stopFirst : {false, true}) {
        auto output = std::make_shared<SlowOutput>();
        auto player = std::make_unique<midi::Player>(song, output);
        player->play();
        while (output->count.load() < 100)
            std::this_thread::sleep_for(1ms);
        const auto start = std::chrono::steady_clock::now();
        if (stopFirst)
            player->stop();
        player.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms) << (stopFirst ? "stop, then close" : "close");
        EXPECT_LT(output->count.load(), size_t {100000}) << "the backlog was sent whole";
    }
}

namespace {

// Keeps every message it takes; the sender can be held before a given one.
class TurnstileOutput final : public midi::Output {
public:
    void send(std::span<const uint8_t> message, midi::TimePoint) override
    {
        std::unique_lock lock(mutex_);
        if (taken_.size() == holdBefore_) {
            held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return taken_.size() != holdBefore_; });
            held_ = false;
        }
        taken_.emplace_back(message.begin(), message.end());
        changed_.notify_all();
    }
    // The sender stops before the message numbered N (from 0) until moved on.
    void holdBefore(size_t n)
    {
        std::lock_guard lock(mutex_);
        holdBefore_ = n;
        changed_.notify_all();
    }
    bool waitUntilHeld()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return held_; });
    }
    // Waits until nothing has come for a moment; returns what came.
    std::vector<std::vector<uint8_t>> settle()
    {
        std::unique_lock lock(mutex_);
        while (changed_.wait_for(lock, 300ms) != std::cv_status::timeout) { }
        return taken_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t holdBefore_ = SIZE_MAX;
    bool held_ = false;
    std::vector<std::vector<uint8_t>> taken_;
};

} // namespace

// A pause owes the notes that were due and then their silence. A stop while
// that is going out drops the notes left, never the silence behind them: the
// stop has nothing of its own left to silence.
TEST(Player, AStopDuringDeliveryStillSilencesTheChannels)
{
    constexpr size_t pairs = 2000;
    Track flood;
    for (size_t i = 0; i < pairs; ++i)
        flood.ev(0, {0x90, 60, 100}).ev(0, {0x80, 60, 0});
    const std::string bytes = file(0, 500, {flood.end(1000)});
    auto song = std::make_shared<midi::Song>();
    std::string error;
    ASSERT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error));
    auto output = std::make_shared<TurnstileOutput>();
    midi::Player player(song, output);
    output->holdBefore(0);
    player.play();
    ASSERT_TRUE(output->waitUntilHeld());
    player.pause();
    // The last note goes out in the same delivery as the silence.
    output->holdBefore(2 * pairs - 1);
    ASSERT_TRUE(output->waitUntilHeld());
    player.stop();
    output->holdBefore(SIZE_MAX);

    const auto taken = output->settle();
    ASSERT_GE(taken.size(), 2u);
    EXPECT_EQ(taken[taken.size() - 2], (std::vector<uint8_t> {0xB0, 123, 0}));
    EXPECT_EQ(taken.back(), (std::vector<uint8_t> {0xB0, 64, 0}));
}

// A singer silencing the melody hears it go at once, though the song has
// nothing to send for a minute; the window's meters, read while the
// playback thread plays, follow.
TEST(Player, ASilenceGoesOutAtOnceAndTheMetersFollow)
{
    const std::string bytes = file(0, 500, {Track().ev(0, {0x90, 60, 90}).ev(60000, {0x80, 60, 0}).end()});
    auto song = std::make_shared<midi::Song>();
    std::string error;
    ASSERT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error));
    auto output = std::make_shared<midi::CaptureOutput>();
    midi::Player player(song, output);
    player.setMetering(true);
    player.play();
    ASSERT_TRUE(output->waitForCount(1, 10s));
    EXPECT_EQ(player.levels()[0], 90);

    player.setSilenced(0x0001);
    EXPECT_EQ(player.levels()[0], 0);
    ASSERT_TRUE(output->waitForCount(3, 10s)) << "the silence waited for the song's next event";
    const auto messages = output->messages();
    EXPECT_EQ(messages[1].bytes, (std::vector<uint8_t> {0x80, 60, 0}));
    EXPECT_EQ(messages[2].bytes, (std::vector<uint8_t> {0xB0, 120, 0}));
}
