#include "platform/midi/player.h"

#include <algorithm>

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace midi {

namespace {

// Events taken from the song per turn under the lock: few enough that a call
// from the window waits a few microseconds at most.
constexpr size_t kBatch = 256;

// A note due now must not wait for a busy machine's other work: real-time
// priority where the system grants it, else the best niceness the user may
// take. Refusals are normal for a desktop user and change nothing else.
void preferThisThread()
{
    rlimit rt{};
    if (getrlimit(RLIMIT_RTPRIO, &rt) == 0) {
        const int ceiling = geteuid() == 0 ? sched_get_priority_max(SCHED_FIFO) : int(rt.rlim_cur);
        sched_param param{};
        param.sched_priority = std::min(ceiling, 10);
        if (param.sched_priority > 0 && pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
            return;
    }
    rlimit nice{};
    if (getrlimit(RLIMIT_NICE, &nice) == 0 && nice.rlim_cur > 0) {
        const int best = std::max(-20, 20 - int(std::min<rlim_t>(nice.rlim_cur, 40)));
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), best);
    }
}

} // namespace

// Where the sequence sends, under the player's lock: messages wait here until
// the playback thread hands them to the output without the lock.
class Outbox final : public Output {
public:
    explicit Outbox(std::shared_ptr<Output> output) : output_(std::move(output)) {}

    void send(std::span<const uint8_t> message, TimePoint due) override
    {
        messages_.push_back({bytes_.size(), message.size(), due});
        bytes_.insert(bytes_.end(), message.begin(), message.end());
    }
    TimePoint readyAt() const override { return output_->readyAt(); }
    Clock::duration delay() const override { return output_->delay(); }

    bool empty() const { return messages_.empty(); }
    void swap(Outbox& other)
    {
        messages_.swap(other.messages_);
        bytes_.swap(other.bytes_);
    }
    // Hands the messages on. Once ABANDONED says the player was stopped,
    // moved or closed meanwhile, the batch's notes go unsent (the silence
    // follows) rather than holding the stop up while the output makes room
    // for them; a reset, a program or a controller still goes out.
    template <class Abandoned> void deliver(Abandoned abandoned)
    {
        bool notesToo = true;
        for (const Message& m : messages_) {
            const int kind = bytes_[m.offset] & 0xF0;
            if (notesToo && abandoned())
                notesToo = false;
            if (!notesToo && (kind == 0x80 || kind == 0x90))
                continue;
            output_->send({bytes_.data() + m.offset, m.size}, m.due);
        }
        messages_.clear();
        bytes_.clear();
    }

private:
    struct Message {
        size_t offset;
        size_t size;
        TimePoint due;
    };
    std::shared_ptr<Output> output_;
    std::vector<Message> messages_;
    std::vector<uint8_t> bytes_;
};

Player::Player(std::shared_ptr<const Song> song, std::shared_ptr<Output> output)
    : output_(std::move(output)), outbox_(std::make_shared<Outbox>(output_)), sequence_(song, outbox_),
      lengthMs_(song->lengthMs()), lengthMicros_(song->lengthMicros)
{
    output_->prepare(*song);
    thread_ = std::thread([this] { run(); });
}

Player::~Player()
{
    interruptions_.fetch_add(1, std::memory_order_acq_rel);
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
    preferThisThread();
    Outbox sending(output_);
    std::unique_lock lock(mutex_);
    for (;;) {
        const std::optional<TimePoint> next = sequence_.process(Clock::now(), kBatch);
        if (!outbox_->empty()) {
            outbox_->swap(sending);
            const unsigned at = interruptions_.load(std::memory_order_acquire);
            lock.unlock();
            // May wait for room in the output, but not past a stop.
            sending.deliver([&] { return interruptions_.load(std::memory_order_acquire) != at; });
            lock.lock();
            continue;
        }
        if (sequence_.takeEnded() && !quit_) {
            if (std::function<void()> notify = notify_) {
                lock.unlock();
                notify();
                lock.lock();
            }
            continue;
        }
        if (quit_ && sequence_.settled())
            return;
        if (next)
            wake_.wait_until(lock, *next);
        else
            wake_.wait(lock);
    }
}

void Player::command(const std::function<void(TimePoint)>& change)
{
    {
        std::lock_guard lock(mutex_);
        change(Clock::now());
    }
    wake_.notify_one();
}

void Player::play()
{
    command([this](TimePoint now) { sequence_.play(now); });
}

void Player::pause()
{
    command([this](TimePoint now) { sequence_.pause(now); });
}

void Player::stop()
{
    interruptions_.fetch_add(1, std::memory_order_acq_rel);
    command([this](TimePoint now) { sequence_.stop(now); });
}

void Player::seekMicros(uint64_t micros)
{
    interruptions_.fetch_add(1, std::memory_order_acq_rel);
    command([this, micros](TimePoint now) { sequence_.seek(micros, now); });
}

void Player::seekToEnd() { seekMicros(lengthMicros_); }

void Player::setTranspose(int semitones)
{
    command([this, semitones](TimePoint now) { sequence_.setTranspose(semitones, now); });
}

void Player::setTempo(int percent)
{
    command([this, percent](TimePoint now) { sequence_.setTempo(percent, now); });
}

void Player::setSilenced(uint16_t channels)
{
    command([this, channels](TimePoint now) { sequence_.setSilenced(channels, now); });
}

void Player::setQuiet(uint16_t channels)
{
    command([this, channels](TimePoint now) { sequence_.setQuiet(channels, now); });
}

void Player::setLoop(uint64_t begin, uint64_t end)
{
    command([this, begin, end](TimePoint now) { sequence_.setLoop(begin, end, now); });
}

void Player::clearLoop()
{
    command([this](TimePoint) { sequence_.clearLoop(); });
}

void Player::setMetering(bool on)
{
    command([this, on](TimePoint) { sequence_.setMetering(on); });
}

Sequence::State Player::state()
{
    std::lock_guard lock(mutex_);
    return sequence_.state();
}

uint32_t Player::positionMs()
{
    const TimePoint heard = Clock::now() - output_->delay();
    std::lock_guard lock(mutex_);
    return sequence_.positionMs(heard);
}

uint64_t Player::positionMicros()
{
    const TimePoint heard = Clock::now() - output_->delay();
    std::lock_guard lock(mutex_);
    return sequence_.positionMicros(heard);
}

void Player::setEndNotify(std::function<void()> notify)
{
    std::lock_guard lock(mutex_);
    notify_ = std::move(notify);
}

} // namespace midi
