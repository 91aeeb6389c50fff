#pragma once
// The presenting thread: hands each decoded picture to the window when the
// clock reaches it, drops pictures that come too late, and ends playback.
// It turns a picture into the window's colours only when it is going up, so
// a dropped one costs nothing beyond its decoding; a 24-bit picture the
// decoder has turned already, as it came.
#include "platform/mci/video/session.h"

#include <functional>
#include <mutex>
#include <thread>

struct SwsContext;

namespace mci::video {

class Presenter {
public:
    // WAKE_WINDOW tells the GUI thread that a picture waits in the mailbox
    // or that playback has ended; it must not block.
    Presenter(Session& session, std::function<void()> wakeWindow);
    ~Presenter();
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;

    void start();
    // The session's quit must be set first.
    void join();

private:
    void run();
    // Gives back a picture decoded before the latest seek, or shows the one
    // the seek waits for whatever the clock says; false when the queue is
    // empty or its head is neither.
    bool settleHead(std::unique_lock<std::mutex>& lock);
    // Shows, drops or waits for the queue's head as the clock has it.
    void followClock(std::unique_lock<std::mutex>& lock);
    // False when a seek or a close came while the picture was converted.
    bool show(std::unique_lock<std::mutex>& lock, int64_t atUs);
    bool convert(Frame& frame);
    void drop();
    void finish(std::unique_lock<std::mutex>& lock);
    void waitFor(std::unique_lock<std::mutex>& lock, int64_t us);

    // The longest a late frame is held back for the one after it.
    static constexpr int64_t kMaxStillUs = 250000;

    Session& s_;
    std::function<void()> wakeWindow_;
    int64_t lastShownUs_ = 0; // media time the picture on screen went up
    SwsContext* sws_ = nullptr;
    std::thread thread_;
};

} // namespace mci::video
