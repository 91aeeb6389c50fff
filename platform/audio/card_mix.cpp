// The card while streams play: the mix on SDL's thread and the watch over it.
#include "platform/audio/card.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace audio {

bool Card::add(Output::Stream* stream)
{
    SDL_LockAudioDevice(device_);
    bool added = false;
    for (Output::Stream*& slot : slots_)
        if (!slot) {
            slot = stream;
            added = true;
            break;
        }
    SDL_UnlockAudioDevice(device_);
    return added;
}

void Card::remove(Output::Stream* stream)
{
    SDL_LockAudioDevice(device_);
    for (Output::Stream*& slot : slots_)
        if (slot == stream)
            slot = nullptr;
    SDL_UnlockAudioDevice(device_);
}

bool Card::anyRunning() const
{
    return std::any_of(slots_.begin(), slots_.end(),
        [](const Output::Stream* s) { return s && s->running.load(std::memory_order_acquire); });
}

void Card::callback(void* self, uint8_t* bytes, int len)
{
    auto* card = static_cast<Card*>(self);
    card->callbacks_.fetch_add(1, std::memory_order_relaxed);
    card->mix(reinterpret_cast<float*>(bytes), len / int(sizeof(float)) / kCardChannels);
}

void Card::mix(float* out, int frames)
{
    // SDL goes on calling back a device that failed, into nowhere.
    if (SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED && !mending_.exchange(true))
        mender_.rested();
    std::memset(out, 0, sizeof(float) * size_t(frames) * kCardChannels);
    for (Output::Stream* stream : slots_) {
        if (!stream || !stream->running.load(std::memory_order_acquire))
            continue;
        if (stream->converter) {
            stream->converter->mixInto(out, frames, stream->render);
            continue;
        }
        // In the card's format: rendered into scratch and added, in
        // pieces if SDL ever asks for more than a period.
        for (int done = 0; done < frames;) {
            const int n = std::min(frames - done, int(stream->scratch.size() / kCardChannels));
            std::fill_n(stream->scratch.data(), size_t(n) * kCardChannels, 0.0f);
            stream->render(stream->scratch.data(), n);
            float* dst = out + size_t(done) * kCardChannels;
            for (int i = 0; i < n * kCardChannels; ++i)
                dst[i] += stream->scratch[size_t(i)];
            done += n;
        }
    }
    if (const float gain = gain_.load(std::memory_order_relaxed); gain != 1.0f)
        for (int i = 0; i < frames * kCardChannels; ++i)
            out[i] *= gain;
    if (tap_)
        tap_(out, frames);
    // Nothing to play: our callback stops until a stream starts, and the
    // device closes if nothing starts for a while.
    if (!anyRunning()) {
        SDL_PauseAudioDevice(device_, 1);
        sleepTimer_.rested();
    }
}

void Card::closeIfStillAsleep()
{
    std::lock_guard guard(cardMutex());
    if (device_ != 0 && !anyRunning()) {
        close();
        closedAsleep_ = true;
    }
}

// While streams run the card must call back: the watch looks again every
// little while for as long as they do, and a card that has not called back
// since is mended as a lost one.
void Card::watch()
{
    seenCallbacks_ = callbacks_.load(std::memory_order_relaxed);
    watchdog_.rested();
}

void Card::checkCallingBack()
{
    {
        std::lock_guard guard(cardMutex());
        if (device_ == 0 || stalled_ || !anyRunning() || SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_PLAYING)
            return;
        const unsigned calls = callbacks_.load(std::memory_order_relaxed);
        if (calls != seenCallbacks_) {
            seenCallbacks_ = calls;
            watchdog_.rested();
            return;
        }
        stalled_ = true;
        if (mending_.exchange(true))
            return;
    }
    mend();
}

std::string Card::failure(std::chrono::milliseconds grace) const
{
    if (!failed_.load(std::memory_order_acquire))
        return {};
    std::lock_guard guard(failureMutex_);
    if (std::chrono::steady_clock::now() - failedSince_ < grace)
        return {};
    return failure_;
}

void Card::noteFailure(const std::string& error)
{
    std::lock_guard guard(failureMutex_);
    if (!error.empty() && failure_.empty())
        failedSince_ = std::chrono::steady_clock::now();
    failure_ = error;
    failed_.store(!error.empty(), std::memory_order_release);
}

void Card::setTap(Tap tap)
{
    lock();
    tap_ = std::move(tap);
    unlock();
}

void Card::setGain(float gain)
{
    if (!std::isnan(gain))
        gain_.store(std::clamp(gain, 0.0f, 1.0f), std::memory_order_relaxed);
}

} // namespace audio
