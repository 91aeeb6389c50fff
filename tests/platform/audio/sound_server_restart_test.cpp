// The player while its sound server crashes and comes back, again and again,
// under a playing wave: the window's commands never wait for the server, and
// the sound is back once the server is. A binary of its own: it kills its
// server many times.
#include "tests/platform/audio/sound_server_rig.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace sound_server_rig;
using namespace std::chrono_literals;

namespace {

// Ends the run when a command has not returned for long: a window that
// froze for good fails here rather than at the test's time limit.
class FreezeGuard {
public:
    FreezeGuard()
        : thread_([this] {
              std::unique_lock lock(mutex_);
              while (!done_) {
                  changed_.wait_for(lock, 100ms);
                  if (busySince_ && std::chrono::steady_clock::now() - *busySince_ > 5s) {
                      std::fprintf(stderr, "FAILED: \"%s\" has not returned for 5 s: the window froze\n", what_);
                      std::fflush(stderr);
                      std::_Exit(1);
                  }
              }
          })
    {
    }
    ~FreezeGuard()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_one();
        thread_.join();
    }

    // Runs COMMAND as the window's thread does, and says how long it took.
    template <class Command> std::chrono::milliseconds time(const char* what, Command command)
    {
        const auto start = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(mutex_);
            busySince_ = start;
            what_ = what;
        }
        command();
        std::lock_guard lock(mutex_);
        busySince_.reset();
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::chrono::steady_clock::time_point> busySince_;
    const char* what_ = "";
    bool done_ = false;
    std::thread thread_;
};

} // namespace

// Each round kills the server as a crash does and starts it again; every
// other round the new server takes the player's connection and then keeps it
// waiting for a while before the stream can be ready, as a loaded machine's
// may. Meanwhile the window plays, pauses, turns the volume and opens tracks,
// and no command takes longer than 200 ms.
TEST_F(SoundServerTest, TheWindowNeverWaitsForARestartingServer)
{
    const std::string server = std::getenv("QUORVANA_SOUND_SERVER");
    auto sink = std::make_unique<NullSink>("speakers");
    run("pactl set-default-sink speakers");
    const std::string wave = sineWave(dir / "long.wav", 440, 0.5, 60000);
    play(mci::DeviceType::WaveAudio, wave);
    ASSERT_TRUE(stream());

    std::atomic<bool> restarting {true};
    std::mutex sinkMutex;
    std::thread crashes([&] {
        for (int round = 0; round < 12; ++round) {
            std::this_thread::sleep_for(round % 2 ? 300ms : 700ms);
            {
                std::lock_guard lock(sinkMutex);
                sink->module.clear(); // goes with the server
            }
            (void)std::system((server + " kill").c_str());
            (void)std::system((server + (round % 2 ? " start" : " start-held 1500")).c_str());
            std::lock_guard lock(sinkMutex);
            sink = std::make_unique<NullSink>("speakers");
            run("pactl set-default-sink speakers");
        }
        restarting = false;
    });

    FreezeGuard guard;
    std::chrono::milliseconds longest {0};
    const char* slowest = "";
    const auto timed = [&](const char* what, auto command) {
        const auto took = guard.time(what, command);
        if (took > longest) {
            longest = took;
            slowest = what;
        }
    };
    for (int tick = 0; restarting; ++tick) {
        std::this_thread::sleep_for(20ms);
        timed("the card's state", [] {
            (void)audio::cardAwake();
            (void)audio::cardOpen();
            (void)audio::lostOutput();
        });
        timed("the position", [&] {
            uint32_t position = 0;
            device->position(position);
        });
        timed("the volume", [&] { audio::setVolume(tick % 2 ? 0.9 : 1.0); });
        if (tick % 80 == 40) {
            timed("a pause", [&] { device->pause(); });
            timed("a resume", [&] { device->resume(); });
        }
        if (tick % 25 == 12)
            timed("another track", [&] {
                std::unique_ptr<mci::Device> other;
                if (mci::openDevice(mci::DeviceType::WaveAudio, wave, {}, other).ok()) {
                    (void)other->play();
                    other->close();
                }
            });
    }
    crashes.join();
    audio::setVolume(1.0);
    std::printf("[ figures  ] %s: the slowest command, %s, took %lld ms\n", driver.c_str(), slowest,
        static_cast<long long>(longest.count()));
    EXPECT_LE(longest.count(), 200) << slowest;

    // The sound is back soon after the server's last return.
    Recording recording("speakers", dir / "after.raw");
    ASSERT_TRUE(recording.started());
    EXPECT_TRUE(QTest::qWaitFor([] { return ourStreams().size() == 1 && audio::cardAwake(); }, 3000))
        << run("pactl list sink-inputs");
    QTest::qWait(1000);
    EXPECT_EQ(device->mode(), mci::Mode::Playing);
    EXPECT_EQ(audio::lostOutput(), "");
    const auto level = levels(recording.stop());
    ASSERT_GT(level.size(), 50u);
    EXPECT_GT(meanLevel(level, level.size() - 50, level.size()), 0.2) << "silent after the server's return";
}
