#pragma once
// What the GUI thread, the decoder and the presenter share about one open
// file. One lock guards all of it; nobody holds it while decoding, painting
// or waiting.
#include "platform/mci/video/clock.h"
#include "platform/mci/video/frame_pool.h"
#include "platform/mci/video/timeline.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace mci::video {

struct Session {
    Session(Clock& c, Timeline t, int64_t frames, int width, int height)
        : clock(c), timeline(t), lengthFrames(frames), endUs(t.frameStartUs(frames)), pool(width, height)
    {
    }

    std::mutex mutex;
    std::condition_variable decoderWake;
    std::condition_variable presenterWake;

    Clock& clock;
    const Timeline timeline;

    // Set by close; read without the lock by FFmpeg's I/O interrupt too.
    std::atomic<bool> quit{false};
    // Bumped by every seek. Read without the lock by the decoder to give up
    // work that a newer seek has made useless.
    std::atomic<uint64_t> epoch{0};
    bool seekPending = true; // the first picture is decoded as a seek to 0
    int64_t seekUs = 0;

    bool playing = false;   // wanted; the clock runs once the picture is ready
    bool paused = false;
    bool prerolled = false; // the picture at the seek target is ready
    bool ended = false;     // position equals length

    // Shrink when the data ends before the header said it would.
    int64_t lengthFrames;
    int64_t endUs;

    FramePool pool;
    int mailbox = -1;  // shown by the presenter, not yet taken by the window
    int onScreen = -1; // what the window paints
    uint64_t presented = 0; // handed to the window
    uint64_t dropped = 0;   // late, or overtaken before the window took it
    uint64_t converted = 0; // turned into the window's colours

    std::function<void()> endNotify;

    // Under the lock. The clock runs exactly while playback is wanted and the
    // picture it starts from is there.
    void updateClock() { clock.setRunning(playing && prerolled && !ended); }
};

} // namespace mci::video
