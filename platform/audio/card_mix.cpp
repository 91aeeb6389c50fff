// The card while streams play: the mix on SDL's thread, its rest when
// nothing plays, and the hand-over of the server's stream from one track to
// the next.
#include "platform/audio/card.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace audio {

namespace {

// The drivers whose server shows each stream by its label.
constexpr const char* kLabellingDrivers[] = {"pulseaudio", "pipewire"};

bool labelsShown()
{
    const char* driver = SDL_GetCurrentAudioDriver();
    return driver && std::any_of(std::begin(kLabellingDrivers), std::end(kLabellingDrivers), [&](const char* name) {
        return std::strcmp(driver, name) == 0;
    });
}

} // namespace

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

void Card::callback(void* feedPointer, uint8_t* bytes, int len)
{
    auto* feed = static_cast<Feed*>(feedPointer);
    auto* out = reinterpret_cast<float*>(bytes);
    if (!feed->live.load(std::memory_order_acquire)) {
        std::memset(out, 0, size_t(len)); // handed over: silence until it goes
        return;
    }
    Card* card = feed->card;
    card->callbacks_.fetch_add(1, std::memory_order_relaxed);
    card->mix(out, len / int(sizeof(float)) / kCardChannels, feed->device.load(std::memory_order_relaxed));
}

void Card::mix(float* out, int frames, SDL_AudioDeviceID device)
{
    // SDL goes on calling back a device that failed, into nowhere.
    if (SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED && !mending_.exchange(true))
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
        SDL_PauseAudioDevice(device, 1);
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

void Card::show(const StreamLabel& label)
{
    // A lost output is the mender's: no open may wait for its server here.
    if (label.name.empty() || label == label_ || !awake() || lost() || sdlBusy() || !labelsShown())
        return;
    handOver(label);
}

// The server shows one stream per device, under the name it opened with,
// and SDL cannot rename it: a track that starts while the card plays gets a
// device of its own on the same output, opened under its label. The mix
// moves over between two periods, before the track's first, so nothing
// plays twice or goes missing; the old device plays out what the server
// still holds of it, then silence, and goes. Where the new device does not
// open, the old one plays on under the old label.
void Card::handOver(const StreamLabel& label)
{
    retire();
    Feed* next = spareFeed();
    setHints(label);
    CardFormat want = wantedFormat(*next);
    CardFormat have {};
    const std::string name = sdlNameOf(deviceName_);
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
    if (id == 0) {
        release(next);
        return;
    }
    next->device = id;
    lock();
    liveFeed_->live = false;
    next->live = true;
    unlock();
    retired_ = device_;
    retiredFeed_ = liveFeed_;
    device_ = id;
    liveFeed_ = next;
    label_ = label;
    period_ = have.samples;
    SDL_PauseAudioDevice(device_, 0);
    watch();
    retirer_.rested();
}

// Without the card mutex.
void Card::endHandOver()
{
    std::lock_guard guard(cardMutex());
    retire();
}

// The device handed over from goes.
void Card::retire()
{
    if (retired_ != 0) {
        SDL_CloseAudioDevice(retired_);
        release(retiredFeed_);
    }
    retired_ = 0;
    retiredFeed_ = nullptr;
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
