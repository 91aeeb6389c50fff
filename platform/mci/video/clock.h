#pragma once
// The clock the picture follows: the sound card when the file has sound, the
// monotonic clock otherwise. Times are microseconds on the media time line.
#include "platform/audio/audio_output.h"
#include "platform/mci/video/audio_ring.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace mci::video {

class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t nowUs() const = 0;
    // Time moves only while running.
    virtual void setRunning(bool running) = 0;
    // Only while stopped.
    virtual void setUs(int64_t us) = 0;
    // WAKE is called when the time jumps by other means than its own passing
    // (a clock that tests step); those waiting on the clock then look again.
    virtual void setWake(std::function<void()> wake) { (void)wake; }
};

class WallClock final : public Clock {
public:
    int64_t nowUs() const override;
    void setRunning(bool running) override;
    void setUs(int64_t us) override;

private:
    using Steady = std::chrono::steady_clock;
    mutable std::mutex mutex_;
    bool running_ = false;
    int64_t baseUs_ = 0;
    Steady::time_point since_;
};

using OpenAudioFn = std::function<std::unique_ptr<audio::Output>(const audio::Format&, audio::RenderFn,
    const std::string& device, std::string& error, const audio::StreamLabel& label)>;

// Time is the number of samples the sound card has taken, so the picture
// follows the sound even when the card's clock drifts from the system's.
class AudioClock final : public Clock {
public:
    AudioClock(int sampleRate, int channels);
    ~AudioClock() override;

    // Opens the sound output; false with ERROR set when there is none.
    // DEVICE is the sound output (empty: the system's default); LABEL is what
    // the sound server shows.
    bool open(const OpenAudioFn& openAudio, const std::string& device, std::string& error,
        const audio::StreamLabel& label = {});

    int sampleRate() const { return rate_; }
    AudioRing& ring() { return ring_; }
    int64_t sampleAt(int64_t us) const;

    // GUI thread: the card runs only while playback is wanted.
    void startOutput();
    void pauseOutput();
    // Decoder thread: empties the ring so that its next sample is AT.
    void resetRing(int64_t at);

    int64_t nowUs() const override;
    void setRunning(bool running) override;
    void setUs(int64_t us) override;

private:
    void render(float* out, int frames);
    int64_t usAt(int64_t sample) const;
    static int64_t steadyNs();

    int rate_;
    AudioRing ring_;
    std::unique_ptr<audio::Output> output_;
    std::atomic<bool> running_{false};
    std::atomic<int64_t> position_{0};   // next sample the card takes
    std::atomic<int64_t> lastStart_{0};  // first sample of the last period
    std::atomic<int64_t> lastFrames_{0}; // its length
    std::atomic<int64_t> lastAtNs_{0};   // when the card took it
};

} // namespace mci::video
