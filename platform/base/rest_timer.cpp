#include "platform/base/rest_timer.h"

namespace rest_timer {

RestTimer::RestTimer(std::chrono::milliseconds delay, std::function<void()> action)
    : action_(std::move(action)), delay_(delay)
{
    thread_ = std::thread([this] { run(); });
}

RestTimer::~RestTimer()
{
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_one();
    thread_.join();
}

void RestTimer::rested()
{
    {
        std::lock_guard lock(mutex_);
        pending_ = true;
        since_ = std::chrono::steady_clock::now();
    }
    changed_.notify_one();
}

void RestTimer::setDelay(std::chrono::milliseconds delay)
{
    {
        std::lock_guard lock(mutex_);
        delay_ = delay;
    }
    changed_.notify_one();
}

void RestTimer::run()
{
    std::unique_lock lock(mutex_);
    while (!closing_) {
        if (!pending_) {
            changed_.wait(lock);
            continue;
        }
        const auto deadline = since_ + delay_;
        if (std::chrono::steady_clock::now() < deadline) {
            changed_.wait_until(lock, deadline);
            continue;
        }
        pending_ = false;
        // The action takes locks of its own, some held while rested() is called.
        lock.unlock();
        action_();
        lock.lock();
    }
}

} // namespace rest_timer
