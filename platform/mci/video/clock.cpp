#include "platform/mci/video/clock.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace mci::video {

int64_t WallClock::nowUs() const
{
    std::lock_guard lock(mutex_);
    if (!running_)
        return baseUs_;
    return baseUs_ + std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - since_).count();
}

void WallClock::setRunning(bool running)
{
    std::lock_guard lock(mutex_);
    if (running == running_)
        return;
    const auto now = Steady::now();
    if (!running)
        baseUs_ += std::chrono::duration_cast<std::chrono::microseconds>(now - since_).count();
    since_ = now;
    running_ = running;
}

void WallClock::setUs(int64_t us)
{
    std::lock_guard lock(mutex_);
    baseUs_ = us;
    since_ = Steady::now();
}

AudioClock::AudioClock(int sampleRate, int channels)
    : rate_(sampleRate), ring_(channels, 2 * static_cast<int64_t>(sampleRate))
{
}

AudioClock::~AudioClock()
{
    // The card must stop calling render before the ring goes.
    output_.reset();
}

bool AudioClock::open(
    const OpenAudioFn& openAudio, const std::string& device, std::string& error, const audio::StreamLabel& label)
{
    audio::Format format;
    format.sampleRate = rate_;
    format.channels = ring_.channels();
    // Short periods keep the picture close to the sound and closing quick.
    format.periodFrames = 512;
    output_ = openAudio(
        format, [this](float* out, int frames) { render(out, frames); }, device, error, label);
    return output_ != nullptr;
}

int64_t AudioClock::sampleAt(int64_t us) const { return av_rescale(us, rate_, 1000000); }
int64_t AudioClock::usAt(int64_t sample) const { return av_rescale(sample, 1000000, rate_); }

int64_t AudioClock::steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
}

void AudioClock::startOutput()
{
    if (output_)
        output_->start();
}

void AudioClock::pauseOutput()
{
    if (output_)
        output_->pause();
}

void AudioClock::resetRing(int64_t at)
{
    if (!output_) {
        ring_.reset(at);
        return;
    }
    audio::Output::Lock lock(*output_);
    ring_.reset(at);
}

int64_t AudioClock::nowUs() const
{
    if (!running_.load(std::memory_order_acquire))
        return usAt(position_.load(std::memory_order_acquire));
    // Between two periods the time moves on with the system clock, but never
    // past the period the card has: a late card makes the picture wait.
    const int64_t start = lastStart_.load(std::memory_order_acquire);
    const int64_t spanUs = usAt(lastFrames_.load(std::memory_order_relaxed));
    const int64_t elapsedUs = (steadyNs() - lastAtNs_.load(std::memory_order_relaxed)) / 1000;
    return usAt(start) + std::clamp<int64_t>(elapsedUs, 0, spanUs);
}

void AudioClock::setRunning(bool running)
{
    if (running) {
        lastStart_.store(position_.load(), std::memory_order_relaxed);
        lastFrames_.store(0, std::memory_order_relaxed);
        lastAtNs_.store(steadyNs(), std::memory_order_relaxed);
    }
    running_.store(running, std::memory_order_release);
}

void AudioClock::setUs(int64_t us)
{
    const int64_t sample = sampleAt(us);
    auto store = [&] {
        position_.store(sample, std::memory_order_release);
        lastStart_.store(sample, std::memory_order_release);
        lastFrames_.store(0, std::memory_order_relaxed);
    };
    if (!output_) {
        store();
        return;
    }
    // A period in progress would otherwise write its end over the new time.
    audio::Output::Lock lock(*output_);
    store();
}

void AudioClock::render(float* out, int frames)
{
    if (!running_.load(std::memory_order_acquire))
        return;
    const int64_t pos = position_.load(std::memory_order_relaxed);
    ring_.readAt(pos, out, frames);
    position_.store(pos + frames, std::memory_order_release);
    lastFrames_.store(frames, std::memory_order_relaxed);
    lastAtNs_.store(steadyNs(), std::memory_order_relaxed);
    lastStart_.store(pos, std::memory_order_release);
}

} // namespace mci::video
