// A sound output that fails while the player runs (a headset unplugged, the
// sound server restarted) is opened again for the next stream. SDL's disk
// driver writes into a pipe whose reader the test closes: the output fails
// on demand. A binary of its own: the driver is chosen once per process.
#include "platform/audio/audio_output.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

template <class Condition> bool within(std::chrono::milliseconds limit, Condition done)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    return done();
}

} // namespace

TEST(LostDevice, TheOutputComesBackWithinASecondWhileAStreamPlays)
{
    std::signal(SIGPIPE, SIG_IGN); // the failed write is the point, not a signal
    testing_support::TempDir dir;
    const std::string pipe = (dir / "card").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", pipe.c_str(), 1);

    // A stream that counts the card's calls for it.
    const auto counting = [](std::atomic<int>& calls) {
        std::string error;
        auto out = audio::Output::open(
            {44100, 2, 512}, [&calls](float*, int) { ++calls; }, "", error);
        EXPECT_TRUE(out) << error;
        if (out)
            out->start();
        return out;
    };
    std::atomic<int> calls {0};
    auto playing = counting(calls);
    ASSERT_TRUE(playing && within(2000ms, [&] { return calls.load() > 0; }));

    // While it cannot come back, the player is told why after a second.
    setenv("SDL_DISKAUDIOFILE", (dir / "no folder" / "card.raw").c_str(), 1);
    ::close(reader); // the output fails at its next write
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(audio::lostOutput(), "") << "too early: it may yet come back";
    EXPECT_TRUE(within(2000ms, [&] { return !audio::lostOutput().empty(); }));

    // Where the output is back once it has failed.
    const auto raw = dir / "card.raw";
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    EXPECT_TRUE(within(1500ms, [&] { return std::filesystem::exists(raw) && std::filesystem::file_size(raw) > 0; }))
        << "the stream went on playing into the lost output";
    EXPECT_EQ(audio::lostOutput(), "");

    // And a track that starts later plays there too.
    std::atomic<int> nextCalls {0};
    auto next = counting(nextCalls);
    EXPECT_TRUE(next && within(2000ms, [&] { return nextCalls.load() > 0; }));
}
