#include "platform/mci/wave/wave_device.h"

#include "platform/mci/wave/wave_device_detail.h"

#include <algorithm>
#include <limits>

namespace mci {

namespace wave {

namespace {

// About 10 ms per callback, as a power of two.
int periodFor(int rate)
{
    int frames = 128;
    while (frames * 100 < rate && frames < 8192)
        frames *= 2;
    return frames;
}

} // namespace

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
