#include "platform/audio/card.h"

#include <cstdio>

namespace audio {

// Guards the card's device and its slots: opening a stream may move the card
// to another device while other threads pause or drop theirs. Never destroyed,
// like the card.
std::mutex& cardMutex()
{
    static auto* m = new std::mutex;
    return *m;
}

// Never destroyed: outputs held by other statics may go after it at exit,
// and the card keeps calling back until the process ends.
Card& card()
{
    static Card* c = new Card;
    return *c;
}

bool Card::open(const std::string& device, std::string& error, const StreamLabel& label)
{
    // A lost output is the mender's to bring back, off the window's thread:
    // SDL may keep whoever opens waiting for a server that does not answer.
    if (awaited() || lost()) {
        // It opens what the window chose last, named after the stream that
        // asked: the chosen output may have gone for good meanwhile.
        deviceName_ = device;
        standingInFor_.clear();
        label_ = label;
        awaitOutput();
        return true;
    }
    if (device_ != 0 && (device == deviceName_ || standsInFor(device)))
        return true;
    if (sdlBusy()) {
        // The card cannot move while SDL holds it; a closed one is the
        // mender's to open, after the try it waits for.
        if (device_ != 0) {
            error = "The sound output is being opened again: try once more in a moment.";
            return false;
        }
        deviceName_ = device;
        standingInFor_.clear();
        label_ = label;
        closedAsleep_ = false;
        awaited_ = true;
        awaitOutput();
        return true;
    }
    if (!initialise(error))
        return false;
    const bool mayStandIn = !device.empty() && device == standingInFor_;
    // Some drivers allow one open device only: the old one goes first.
    const std::string previous = deviceName_;
    const StreamLabel previousLabel = label_;
    const bool wasOpen = device_ != 0;
    close();
    if (openListed(device, label, error))
        return true;
    if (mayStandIn && !device.empty())
        return openStandIn(device, label);
    if (wasOpen) {
        std::string ignored;
        openDevice(previous, previousLabel, ignored);
    }
    return false;
}

bool Card::probe(const std::string& device, std::string& error)
{
    if (device_ != 0 && device == deviceName_)
        return true;
    if (!initialise(error))
        return false;
    if (device_ != 0 || awaited_ || !inSdl_.empty()) {
        // Some drivers open one device at a time, and no other open may
        // run beside the mender's: being listed must do.
        if (device.empty() || outputs_.listed(device))
            return true;
        error = "The sound output \"" + device + "\" is not connected.";
        return false;
    }
    const auto opens = [&] {
        Feed unused {this};
        CardFormat want = wantedFormat(unused);
        want.callback = nullptr; // nothing is played through it
        CardFormat have {};
        const std::string name = sdlNameOf(device);
        const SDL_AudioDeviceID id
            = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, SDL_AUDIO_ALLOW_ANY_CHANGE);
        if (id == 0) {
            error = cannotOpen(device);
            return false;
        }
        SDL_CloseAudioDevice(id);
        return true;
    };
    return opens() || (!device.empty() && relist() && opens());
}

std::vector<std::string> Card::devices(std::string& error)
{
    if (!initialise(error))
        return {};
    return outputs_.names();
}

void Card::wake(const StreamLabel& label)
{
    if (awaited()) {
        awaitOutput();
        return;
    }
    const bool busy = sdlBusy();
    if (!busy && device_ != 0 && !(label == label_) && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PAUSED) {
        // Nothing else plays: the card opens anew under this stream's
        // label, as a server names, routes and restores a stream when it
        // opens. The choice it stands in for stays.
        const std::string standingInFor = standingInFor_;
        std::string error;
        close();
        if (openDevice(deviceName_, label, error)) {
            standingInFor_ = standingInFor;
            return;
        }
        std::fprintf(stderr, "quorvana: %s\n", error.c_str());
        label_ = label;
        awaited_ = true;
        awaitOutput();
        return;
    }
    if (device_ != 0) {
        SDL_PauseAudioDevice(device_, 0);
        watch();
        return;
    }
    if (!closedAsleep_)
        return;
    if (busy) {
        closedAsleep_ = false;
        label_ = label;
        awaited_ = true;
        awaitOutput();
        return;
    }
    // Reopened where it was; a device gone meanwhile is reported by the
    // next stream to open, as this one has no one to tell.
    const std::string standingInFor = standingInFor_;
    std::string error;
    closedAsleep_ = false;
    if (openDevice(deviceName_, label, error))
        standingInFor_ = standingInFor;
    else
        std::fprintf(stderr, "quorvana: %s\n", error.c_str());
}

bool Card::initialise(std::string& error)
{
    if (sdlUp_)
        return true;
    // A machine without sound is asked once; a start that fails after SDL
    // once ran (its server away for a while) is tried again.
    if (startError_.empty()) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        setHint(SDL_HINT_APP_NAME, applicationName_);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            // A restart keeps the driver found at first: with its server
            // away, SDL would move on to the next one and stay there.
            if (!SDL_GetHint(SDL_HINT_AUDIODRIVER))
                SDL_SetHint(SDL_HINT_AUDIODRIVER, SDL_GetCurrentAudioDriver());
            outputs_.follow([this] { mender_.rested(); });
            sdlUp_ = everUp_ = true;
            return true;
        }
        if (!everUp_)
            startError_ = SDL_GetError();
    }
    error = "No audio output device is available (" + (startError_.empty() ? SDL_GetError() : startError_) + ").";
    return false;
}

// A fresh list from the server, by starting SDL's sound again: SDL follows
// no rename, and after its server restarted it no longer follows anything.
// Only while no device is open.
bool Card::relist()
{
    if (!inSdl_.empty())
        return false;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlUp_ = false;
    std::string ignored;
    return initialise(ignored);
}

CardFormat Card::wantedFormat(Feed& feed)
{
    CardFormat want {};
    want.freq = kCardRate;
    want.format = AUDIO_F32SYS;
    want.channels = kCardChannels;
    want.samples = kCardPeriod;
    want.callback = &Card::callback;
    want.userdata = &feed;
    return want;
}

std::string Card::cannotOpen(const std::string& device)
{
    const std::string why = SDL_GetError();
    if (device.empty())
        return "No audio output device is available (" + why + ").";
    return "The sound output \"" + device + "\" cannot be opened (" + why + ").";
}

// An output SDL does not find is looked for once more in a fresh list,
// while the card is closed anyway.
bool Card::openListed(const std::string& device, const StreamLabel& label, std::string& error)
{
    if (openDevice(device, label, error))
        return true;
    return !device.empty() && relist() && openDevice(device, label, error);
}

bool Card::openDevice(const std::string& device, const StreamLabel& label, std::string& error)
{
    setHints(label);
    Feed* feed = spareFeed();
    CardFormat want = wantedFormat(*feed);
    CardFormat have {};
    // SDL converts to whatever the card takes; a machine without sound
    // may report a driver as ready and only fail here.
    const std::string name = sdlNameOf(device);
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
    if (id == 0) {
        release(feed);
        error = cannotOpen(device);
        return false;
    }
    deviceName_ = device;
    label_ = label;
    standingInFor_.clear();
    adopt(id, feed, have);
    return true;
}

// The card plays on ID from now on.
void Card::adopt(SDL_AudioDeviceID id, Feed* feed, const CardFormat& have)
{
    feed->device = id;
    feed->live = true;
    device_ = id;
    liveFeed_ = feed;
    awaited_ = false;
    noteFailure({});
    stalled_ = false;
    period_ = have.samples;
    // Streams moved over from another device may be running.
    SDL_PauseAudioDevice(device_, 0);
    if (anyRunning())
        watch();
}

Card::Feed* Card::spareFeed()
{
    for (Feed& feed : feeds_)
        if (!feed.taken) {
            feed.taken = true;
            return &feed;
        }
    Feed& feed = feeds_.emplace_back(this);
    feed.taken = true;
    return &feed;
}

// Once SDL no longer calls back into FEED.
void Card::release(Feed* feed)
{
    feed->live = false;
    feed->device = 0;
    feed->taken = false;
}

// Waits for a callback under way; the streams stay in their slots.
void Card::close()
{
    retire();
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        release(liveFeed_);
    }
    device_ = 0;
    liveFeed_ = nullptr;
    closedAsleep_ = false;
}

} // namespace audio
