#include "platform/midi/player.h"

#include <sys/prctl.h>

namespace midi {

Player::Player(std::shared_ptr<const Song> song, std::shared_ptr<Output> output)
    : sequence_(song, std::move(output)), lengthMs_(song->lengthMs()), lengthMicros_(song->lengthMicros)
{
    thread_ = std::thread([this] { run(); });
}

Player::~Player()
{
    {
        std::lock_guard lock(mutex_);
        sequence_.close(Clock::now());
        quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void Player::run()
{
    // The kernel may otherwise wake the thread up to 50 microseconds late to
    // batch timers; a note should not wait for that.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::unique_lock lock(mutex_);
    while (!quit_) {
        const std::optional<TimePoint> next = sequence_.process(Clock::now());
        if (sequence_.takeEnded()) {
            if (std::function<void()> notify = notify_) {
                lock.unlock();
                notify();
                lock.lock();
            }
            continue;
        }
        if (next)
            wake_.wait_until(lock, *next);
        else
            wake_.wait(lock);
    }
}

void Player::play()
{
    {
        std::lock_guard lock(mutex_);
        sequence_.play(Clock::now());
    }
    wake_.notify_one();
}

void Player::pause()
{
    std::lock_guard lock(mutex_);
    sequence_.pause(Clock::now());
}

void Player::stop()
{
    std::lock_guard lock(mutex_);
    sequence_.stop(Clock::now());
}

void Player::seekMicros(uint64_t micros)
{
    std::lock_guard lock(mutex_);
    sequence_.seek(micros, Clock::now());
}

void Player::seekToEnd() { seekMicros(lengthMicros_); }

Sequence::State Player::state()
{
    std::lock_guard lock(mutex_);
    return sequence_.state();
}

uint32_t Player::positionMs()
{
    std::lock_guard lock(mutex_);
    return sequence_.positionMs(Clock::now());
}

void Player::setEndNotify(std::function<void()> notify)
{
    std::lock_guard lock(mutex_);
    notify_ = std::move(notify);
}

} // namespace midi
