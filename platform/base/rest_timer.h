#pragma once
// Does something once a thing has been at rest for a while: the sound card
// closes, the synthesizer lets go of its samples. The waiting is done asleep
// on a thread of its own, not by looking again and again.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace rest_timer {

class RestTimer {
public:
    // ACTION runs on the timer's thread DELAY after the latest rested(), and
    // must itself check that the rest still holds: a wake-up is not reported.
    RestTimer(std::chrono::milliseconds delay, std::function<void()> action);
    ~RestTimer();
    RestTimer(const RestTimer&) = delete;
    RestTimer& operator=(const RestTimer&) = delete;

    // The rest begins now. One short lock: fit for the audio thread.
    void rested();
    void setDelay(std::chrono::milliseconds delay);

private:
    void run();

    std::function<void()> action_;
    std::mutex mutex_; // for what follows
    std::condition_variable changed_;
    bool pending_ = false;
    bool closing_ = false;
    std::chrono::steady_clock::time_point since_;
    std::chrono::milliseconds delay_;
    std::thread thread_;
};

} // namespace rest_timer
