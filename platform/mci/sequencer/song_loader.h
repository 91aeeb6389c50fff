#pragma once
// Reading a song for the sequencer, its words with it: at once for a small
// file, on a worker for a big one, so that the window's thread never waits
// for the reading of a file near the size limit.
#include "platform/mci/mci.h"
#include "platform/mci/singer.h"
#include "platform/midi/smf.h"
#include "platform/midi/words.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace mci::sequencer {

struct LoadedSong {
    Result result;
    std::shared_ptr<const midi::Song> song;
    std::shared_ptr<const SongParts> parts; // its words, channels, melody and digest
};

// The result of loading or probing a song, as the media devices report it.
Result songResult(midi::LoadError e, const std::string& error);

// Reads PATH: the song, then its words, its channels and its melody. Once CANCELLED (when given) turns
// true the reading is given up within a moment.
LoadedSong readSong(const std::string& path, const std::atomic<bool>* cancelled = nullptr);

// Lets go of HELD on a worker where this is its last holder: a big song's
// memory takes a while to give back.
void letGo(std::shared_ptr<const void> held);

// One reading on a worker. The application's thread hears of its end from
// its event loop, unless the reading was dropped first.
class SongLoad {
public:
    // READY runs on the application's thread once the reading is over.
    static std::shared_ptr<SongLoad> start(const std::string& path, std::function<void()> ready);
    ~SongLoad();

    // Waits at most LIMIT for the reading to end: true when it has.
    bool wait(std::chrono::milliseconds limit);
    // What was read, once the reading is over.
    LoadedSong take();
    // No longer wanted: the reading is given up as soon as it can be, what it
    // read is let go on the worker, and READY is never called.
    void drop();

private:
    SongLoad() = default;
    void finish(LoadedSong loaded);

    std::atomic<bool> cancelled_ {false};
    std::mutex mutex_; // guards done_ and loaded_
    std::condition_variable over_;
    bool done_ = false;
    LoadedSong loaded_;
    std::function<void()> ready_; // the application's thread only
};

} // namespace mci::sequencer
