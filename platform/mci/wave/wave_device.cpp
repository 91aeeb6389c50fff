#include "platform/mci/wave/wave_device.h"

#include "platform/mci/wave/sample_ring.h"
#include "platform/mci/wave/wave_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <semaphore>
#include <thread>

namespace mci {

namespace wave {

namespace {

// Frames the reader decodes in one go: small enough that the first batch after
// open or a seek is there long before the first callback.
constexpr uint32_t kChunkFrames = 1024;
// How long play waits for the first samples before it starts anyway.
constexpr auto kPrefillWait = std::chrono::milliseconds(50);

// About 10 ms per callback, as a power of two.
int periodFor(int rate)
{
    int frames = 128;
    while (frames * 100 < rate && frames < 8192)
        frames *= 2;
    return frames;
}

class WaveDevice final : public Device {
public:
    explicit WaveDevice(SinkOpener opener) : opener_(std::move(opener)) {}
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
    void readerLoop();                   // the reader thread
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
    std::atomic<Mode> mode_{Mode::NotReady};
    std::atomic<int64_t> played_{0};     // frames the output has consumed, from the file's start
    std::atomic<int64_t> total_{0};      // frames to the end of the real data
    std::atomic<int64_t> seekTarget_{0}; // where the reader starts for a new ring generation
    // Every play, resume and seek starts a new run; the end of an old run must
    // not stop or notify the one that replaced it.
    std::atomic<uint32_t> run_{1};
    std::atomic<uint32_t> endedRun_{0};
    std::atomic<bool> quit_{false};
    std::counting_semaphore<> wake_{0};

    std::mutex progressMutex_;
    std::condition_variable progress_;
    std::mutex notifyMutex_;
    std::function<void()> notify_;
};

Result WaveDevice::open(const std::string& path)
{
    close();
    if (path.empty())
        return Result::failure(ErrUnsupportedFunction, "The wave audio device needs a file to open.");
    try {
        return start(path);
    } catch (const std::exception& e) {
        // Out of memory or threads: a refusal like any other, with nothing left half open.
        close();
        return Result::failure(ErrOutOfMemory, std::string("The wave audio device cannot start: ") + e.what());
    }
}

Result WaveDevice::start(const std::string& path)
{
    std::unique_ptr<WaveFile> file;
    Result r = WaveFile::open(path, file);
    if (!r.ok())
        return r;

    rate_ = file->sampleRate();
    const int channels = file->channels();
    const int period = periodFor(rate_);
    // A quarter of a second ahead: plenty against a slow disk, little to drop on a seek.
    ring_ = std::make_unique<SampleRing>(channels, uint32_t(std::max(rate_ / 4, 4 * period)));
    prefillFrames_ = std::min<uint32_t>(uint32_t(2 * period), ring_->capacity());

    std::string error;
    audio::Format format{rate_, channels, period};
    sink_ = opener_(
        format, [this](float* out, int frames) { render(out, frames); }, error,
        audio::fileLabel(path, audio::Role::Music));
    if (!sink_) {
        ring_.reset();
        return Result::failure(ErrNoAudioDevice, error.empty() ? errorText(ErrNoAudioDevice) : error);
    }

    total_ = file->frames();
    played_ = 0;
    seekTarget_ = 0;
    quit_ = false;
    endedRun_ = 0;
    file_ = std::move(file);
    mode_ = Mode::Stopped;
    reader_ = std::thread([this] { readerLoop(); });
    return Result::success();
}

void WaveDevice::close()
{
    {
        std::lock_guard lock(control_);
        quit_ = true;
        if (sink_)
            sink_->pause();
        mode_ = Mode::NotReady;
    }
    wake_.release();
    wakeWaiters();
    if (reader_.joinable())
        reader_.join();
    // The sink goes first: its callback reads the ring.
    sink_.reset();
    ring_.reset();
    file_.reset();
}

uint32_t WaveDevice::toMs(int64_t frames) const
{
    // To the nearest millisecond, halves up, as a multiply-divide rounds.
    const int64_t ms = (std::max<int64_t>(frames, 0) * 1000 + rate_ / 2) / rate_;
    return uint32_t(std::min<int64_t>(ms, std::numeric_limits<uint32_t>::max()));
}

Result WaveDevice::play()
{
    if (!isOpen())
        return notOpen();
    if (mode() == Mode::Playing)
        return Result::success();
    // Waits without the control lock: the reader may need it to finish the
    // end of the last run before it gets to the samples we wait for.
    waitForPrefill();
    std::lock_guard lock(control_);
    run_.fetch_add(1);
    mode_.store(Mode::Playing, std::memory_order_release);
    sink_->start();
    return Result::success();
}

Result WaveDevice::pause()
{
    if (!isOpen())
        return notOpen();
    std::lock_guard lock(control_);
    if (mode() != Mode::Playing)
        return Result::success();
    sink_->pause();
    // The end may have come in the meantime; then the device stays stopped.
    Mode playing = Mode::Playing;
    mode_.compare_exchange_strong(playing, Mode::Paused);
    return Result::success();
}

Result WaveDevice::resume()
{
    if (!isOpen())
        return notOpen();
    const Mode m = mode();
    if (m == Mode::Playing)
        return Result::success();
    if (m != Mode::Paused)
        return Result::failure(ErrUnsupportedFunction, "The wave audio device is not paused.");
    std::lock_guard lock(control_);
    run_.fetch_add(1);
    mode_.store(Mode::Playing, std::memory_order_release);
    sink_->start();
    return Result::success();
}

Result WaveDevice::stop()
{
    if (!isOpen())
        return notOpen();
    std::lock_guard lock(control_);
    sink_->pause();
    mode_ = Mode::Stopped;
    return Result::success();
}

Result WaveDevice::seek(uint32_t position)
{
    if (!isOpen())
        return notOpen();
    const int64_t total = total_.load();
    if (position >= toMs(total))
        return seekFrame(total);
    // The nearest frame, which reads back as POSITION: half a frame is less
    // than half a millisecond at every rate the device plays.
    return seekFrame((int64_t(position) * rate_ + 500) / 1000);
}

Result WaveDevice::seekToEnd()
{
    if (!isOpen())
        return notOpen();
    return seekFrame(total_.load());
}

Result WaveDevice::seekFrame(int64_t frame)
{
    if (!isOpen())
        return notOpen();
    std::lock_guard lock(control_);
    sink_->pause();
    mode_ = Mode::Stopped;
    run_.fetch_add(1);
    frame = std::clamp<int64_t>(frame, 0, total_.load());
    // The ring holds the samples from the played position on: a seek to where
    // the device already stands keeps them.
    if (frame != played_.load()) {
        seekTarget_ = frame;
        played_ = frame;
        ring_->reset();
        wake_.release();
    }
    return Result::success();
}

Result WaveDevice::setTimeFormat(TimeFormat format)
{
    if (!isOpen())
        return notOpen();
    if (format == TimeFormat::Frames)
        return Result::failure(ErrUnsupportedFunction, "The wave audio device counts time in milliseconds only.");
    return Result::success();
}

Result WaveDevice::length(uint32_t& out)
{
    if (!isOpen())
        return notOpen();
    out = toMs(total_.load());
    return Result::success();
}

Result WaveDevice::position(uint32_t& out)
{
    if (!isOpen())
        return notOpen();
    // A seek past data that turned out shorter than its header said must still
    // read as the end.
    out = toMs(std::min(played_.load(), total_.load()));
    return Result::success();
}

void WaveDevice::waitForPrefill()
{
    std::unique_lock lock(progressMutex_);
    progress_.wait_for(lock, kPrefillWait, [this] {
        return ring_->available() >= prefillFrames_ || ring_->finished() || quit_.load();
    });
}

void WaveDevice::wakeWaiters()
{
    { std::lock_guard lock(progressMutex_); }
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

} // namespace

std::unique_ptr<Device> makeDevice(SinkOpener sink)
{
    return std::make_unique<WaveDevice>(std::move(sink));
}

} // namespace wave

std::unique_ptr<Device> makeWaveDevice(const multimedia::Choices& choices)
{
    return wave::makeDevice(wave::sdlSinkOpener(choices.soundOutput));
}

Result checkWaveFile(const std::string& path)
{
    std::unique_ptr<wave::WaveFile> file;
    return wave::WaveFile::open(path, file);
}

} // namespace mci
