#include "platform/mci/wave/wave_device_detail.h"

#include <algorithm>
#include <chrono>

namespace mci::wave {

namespace {

// Frames the reader decodes in one go: small enough that the first batch after
// open or a seek is there long before the first callback.
constexpr uint32_t kChunkFrames = 1024;
// How long play waits for the first samples before it starts anyway.
constexpr auto kPrefillWait = std::chrono::milliseconds(50);

} // namespace

void WaveDevice::waitForPrefill()
{
    std::unique_lock lock(progressMutex_);
    progress_.wait_for(lock, kPrefillWait,
        [this] { return ring_->available() >= prefillFrames_ || ring_->finished() || quit_.load(); });
}

void WaveDevice::wakeWaiters()
{
    {
        std::lock_guard lock(progressMutex_);
    }
    progress_.notify_all();
}

void WaveDevice::render(float* out, int frames)
{
    if (mode_.load(std::memory_order_acquire) != Mode::Playing)
        return;
    const uint32_t n = ring_->read(out, uint32_t(frames));
    played_.fetch_add(n, std::memory_order_relaxed);
    if (n < uint32_t(frames) && ring_->drained()) {
        Mode playing = Mode::Playing;
        if (mode_.compare_exchange_strong(playing, Mode::Stopped))
            endedRun_.store(run_.load());
    }
    wake_.release();
}

void WaveDevice::readerLoop()
{
    uint32_t gen = 0;
    bool started = false;
    int64_t frame = 0;
    bool finished = false;
    while (!quit_.load()) {
        handleEnd();
        try {
            const uint32_t current = ring_->generation();
            if (!started || current != gen) {
                started = true;
                gen = current;
                const int64_t target = seekTarget_.load();
                frame = file_->seek(target, [&] { return quit_.load() || ring_->generation() != gen; });
                finished = false;
                if (frame < target && ring_->generation() == gen && !quit_.load()) {
                    // The data ends before the place asked for.
                    total_ = std::min(total_.load(), frame);
                }
            }
            if (!finished)
                fill(gen, frame, finished);
        } catch (const std::exception&) {
            // Nothing more can be decoded: the data ends here, so that
            // playback still comes to its end instead of waiting for samples.
            total_ = std::min(total_.load(), frame);
            finished = ring_->commit(gen, 0, true);
        }
        wake_.acquire();
    }
}

void WaveDevice::fill(uint32_t gen, int64_t& frame, bool& finished)
{
    while (!quit_.load()) {
        const SampleRing::Space space = ring_->writable(gen);
        if (space.frames == 0)
            return; // full, or a seek came in
        const int64_t want = std::min<int64_t>({space.frames, kChunkFrames, total_.load() - frame});
        const int64_t got = want > 0 ? file_->read(space.data, want) : 0;
        frame += got;
        if (got < want)
            total_ = frame; // the real data ends here
        const bool atEnd = frame >= total_.load();
        if (!ring_->commit(gen, uint32_t(got), atEnd))
            return;
        wakeWaiters();
        if (atEnd) {
            finished = true;
            return;
        }
    }
}

void WaveDevice::handleEnd()
{
    const uint32_t run = endedRun_.exchange(0);
    if (run == 0)
        return;
    {
        std::lock_guard lock(control_);
        if (quit_.load() || run != run_.load() || mode() != Mode::Stopped)
            return;
        // Nothing left to play: no need to keep the output running on silence.
        sink_->pause();
    }
    std::function<void()> notify;
    {
        std::lock_guard lock(notifyMutex_);
        notify = notify_;
    }
    if (!notify)
        return;
    try {
        notify();
    } catch (...) {
        // The receiver's fault, and no thread of ours to report it on.
    }
}

} // namespace mci::wave
