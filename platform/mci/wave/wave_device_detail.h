#pragma once
// The wave-audio device inside: the commands run on the caller's thread, a
// reader thread decodes ahead into the sample ring, and the sound output's
// thread plays from it.
#include "platform/mci/mci.h"
#include "platform/mci/wave/audio_sink.h"
#include "platform/mci/wave/sample_ring.h"
#include "platform/mci/wave/wave_file.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>

namespace mci::wave {

class WaveDevice final : public Device {
public:
    explicit WaveDevice(SinkOpener opener) : opener_(std::move(opener)) { }
    ~WaveDevice() override { close(); }

    Result open(const std::string& path) override;
    void close() override;

    Result play() override;
    Result pause() override;
    Result resume() override;
    Result stop() override;
    Result seek(uint32_t position) override;
    Result seekToStart() override { return seekFrame(0); }
    Result seekToEnd() override;

    Result setTimeFormat(TimeFormat format) override;
    Result length(uint32_t& out) override;
    Result position(uint32_t& out) override;
    Mode mode() override { return mode_.load(std::memory_order_acquire); }

    void setEndNotify(std::function<void()> notify) override
    {
        std::lock_guard lock(notifyMutex_);
        notify_ = std::move(notify);
    }

private:
    Result start(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    static Result notOpen() { return Result::failure(ErrDeviceNotReady, "No wave file is open."); }
    uint32_t toMs(int64_t frames) const;
    Result seekFrame(int64_t frame);
    void waitForPrefill();

    void render(float* out, int frames); // the audio thread
    void readerLoop(); // the reader thread
    void fill(uint32_t gen, int64_t& frame, bool& finished);
    void handleEnd();
    void wakeWaiters();

    SinkOpener opener_;
    std::unique_ptr<WaveFile> file_;
    std::unique_ptr<SampleRing> ring_;
    std::unique_ptr<Sink> sink_;
    std::thread reader_;
    int rate_ = 0;
    uint32_t prefillFrames_ = 0;

    // Serialises the sink's start and pause between the GUI thread and the
    // reader, which pauses it after the end. Held only for moments.
    std::mutex control_;
    std::atomic<Mode> mode_ {Mode::NotReady};
    std::atomic<int64_t> played_ {0}; // frames the output has consumed, from the file's start
    std::atomic<int64_t> total_ {0}; // frames to the end of the real data
    std::atomic<int64_t> seekTarget_ {0}; // where the reader starts for a new ring generation
    // Every play, resume and seek starts a new run; the end of an old run must
    // not stop or notify the one that replaced it.
    std::atomic<uint32_t> run_ {1};
    std::atomic<uint32_t> endedRun_ {0};
    std::atomic<bool> quit_ {false};
    std::counting_semaphore<> wake_ {0};

    std::mutex progressMutex_;
    std::condition_variable progress_;
    std::mutex notifyMutex_;
    std::function<void()> notify_;
};

} // namespace mci::wave
