#include "platform/audio/audio_output.h"

#include "platform/audio/card.h"

#include <mutex>

namespace audio {

std::unique_ptr<Output> Output::open(
    const Format& wanted, RenderFn render, const std::string& device, std::string& error, const StreamLabel& label)
{
    std::lock_guard guard(cardMutex());
    if (wanted.sampleRate <= 0 || wanted.channels <= 0) {
        error = "The audio format is not supported.";
        return nullptr;
    }
    if (!card().open(device, error, label))
        return nullptr;
    auto stream = std::make_unique<Stream>();
    stream->render = std::move(render);
    stream->label = label;
    const int period = card().period();
    if (wanted.sampleRate != kCardRate || wanted.channels != kCardChannels)
        stream->converter = std::make_unique<Converter>(wanted.sampleRate, wanted.channels, kCardRate, period);
    else
        stream->scratch.assign(size_t(period) * kCardChannels, 0.0f);
    if (!card().add(stream.get())) {
        error = "Too many sounds are playing at once.";
        return nullptr;
    }
    std::unique_ptr<Output> out(new Output);
    out->format_ = wanted;
    out->format_.periodFrames = period;
    out->stream_ = stream.release();
    return out;
}

std::vector<std::string> outputDevices(std::string& error)
{
    std::lock_guard guard(cardMutex());
    return card().devices(error);
}

bool followDevice(const std::string& device, std::string& error, const StreamLabel& label)
{
    std::lock_guard guard(cardMutex());
    if (!card().inUse())
        return true;
    if (!card().open(device, error, label))
        return false;
    card().show(label);
    return true;
}

void setApplicationName(const std::string& name)
{
    std::lock_guard guard(cardMutex());
    card().setApplicationName(name);
}

bool canOpenDevice(const std::string& device, std::string& error)
{
    std::lock_guard guard(cardMutex());
    return card().probe(device, error);
}

Output::~Output()
{
    std::lock_guard guard(cardMutex());
    card().remove(stream_);
    delete stream_;
}

void Output::start()
{
    if (stream_->running.load(std::memory_order_acquire))
        return;
    std::lock_guard guard(cardMutex());
    // The server's stream takes this one's label before its first period,
    // so that all of its sound plays under it.
    card().show(stream_->label);
    stream_->running.store(true, std::memory_order_release);
    card().wake(stream_->label);
}

void Output::setLabel(const StreamLabel& label)
{
    std::lock_guard guard(cardMutex());
    stream_->label = label;
}

void Output::setIdle(bool idle)
{
    stream_->running.store(!idle, std::memory_order_seq_cst);
}

bool cardOpen()
{
    std::lock_guard guard(cardMutex());
    return card().isOpen();
}

void setCloseAfterSleeping(std::chrono::milliseconds delay)
{
    card().setCloseAfter(delay);
}

void setTap(Tap tap)
{
    std::lock_guard guard(cardMutex());
    card().setTap(std::move(tap));
}

void setVolume(double volume)
{
    card().setGain(float(volume));
}

double volume()
{
    return card().gain();
}

std::string lostOutput()
{
    return card().failure(std::chrono::seconds(1));
}

bool cardAwake()
{
    std::lock_guard guard(cardMutex());
    return card().awake();
}

void Output::pause()
{
    stream_->running.store(false, std::memory_order_release);
    // Waits out a callback that may have seen the stream running.
    std::lock_guard guard(cardMutex());
    card().lock();
    card().unlock();
}

bool Output::running() const
{
    return stream_->running.load(std::memory_order_acquire);
}

Output::Lock::Lock(Output&)
{
    cardMutex().lock();
    card().lock();
}

Output::Lock::~Lock()
{
    card().unlock();
    cardMutex().unlock();
}

} // namespace audio
