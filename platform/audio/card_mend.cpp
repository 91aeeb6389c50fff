// The card when its output goes: the mender, which opens the chosen output
// again or stands in with the system's default, the watchdog, which notices a
// card that no longer calls back, and the failure the window is told of.
#include "platform/audio/card.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace audio {

// Whether the default plays for DEVICE, the chosen output, while it is gone.
// Once SDL lists it again the card goes back to it.
bool Card::standsInFor(const std::string& device)
{
    return !device.empty() && device == standingInFor_ && !outputs_.listed(device);
}

// The chosen output is gone (unplugged, its server restarted): the system's
// default takes over, and the choice stays for when it comes back.
bool Card::openStandIn(const std::string& device, const StreamLabel& label)
{
    std::string ignored;
    if (!openDevice("", label, ignored))
        return false;
    standingInFor_ = device;
    return true;
}

namespace {

// Longer than a server that answers takes to open a stream, on a busy
// machine too: a try that takes longer is given up on, and another made.
// Each try SDL still waits in (it may never return) makes the next wait
// longer, so that a server that hangs for long leaves few of them.
constexpr auto kOpenDeadline = std::chrono::seconds(2);
constexpr size_t kMostDeadlines = 8;

} // namespace

void Card::awaitOutput()
{
    if (!mending_.exchange(true))
        mender_.rested();
}

// The output failed while streams played on it, or the chosen output the
// default plays for is back: the chosen one is opened again, or the default
// takes over, and the streams play on. While nothing opens it is tried
// again every little while. The open runs on a thread of its own and the
// card takes its output once it is ready: nothing waits for the server
// with the card mutex held.
void Card::mend()
{
    std::array<SDL_AudioDeviceID, 2> gone {};
    std::array<Feed*, 2> goneFeeds {};
    std::shared_ptr<Opening> opening;
    {
        std::lock_guard guard(cardMutex());
        mending_ = false;
        const auto now = std::chrono::steady_clock::now();
        if (opening_) {
            if (now - opening_->started < kOpenDeadline * long(std::min(inSdl_.size(), kMostDeadlines))) {
                awaitOutput(); // the deadline is watched
                return;
            }
            const std::string error = opening_->device.empty()
                ? "No audio output device is available (the sound server does not answer)."
                : "The sound output \"" + opening_->device + "\" does not answer.";
            std::fprintf(stderr, "quorvana: %s\n", error.c_str());
            noteFailure(error);
            opening_.reset();
        }
        const bool back = device_ != 0 && !standingInFor_.empty() && outputs_.listed(standingInFor_);
        if (device_ != 0 ? !lost() && !back : !awaited_ || !anyRunning())
            return;
        const std::string chosen = standingInFor_.empty() ? deviceName_ : standingInFor_;
        if (device_ != 0) {
            // Waits out a callback under way; the streams stay in their slots.
            lock();
            liveFeed_->live = false;
            unlock();
            gone = {device_, retired_};
            goneFeeds = {liveFeed_, retiredFeed_};
            device_ = retired_ = 0;
            liveFeed_ = retiredFeed_ = nullptr;
            deviceName_ = chosen;
            standingInFor_.clear();
            awaited_ = true;
        }
        opening = std::make_shared<Opening>(Opening {chosen, label_, applicationName_, spareFeed(), now});
        opening_ = opening;
        inSdl_.push_back(opening);
    }
    // Some drivers allow one open device only: the old one goes first.
    for (const SDL_AudioDeviceID id : gone)
        if (id != 0)
            SDL_CloseAudioDevice(id);
    {
        std::lock_guard guard(cardMutex());
        for (Feed* feed : goneFeeds)
            if (feed)
                release(feed);
    }
    std::thread([this, opening] {
        CardFormat have {};
        std::string error;
        const auto openOn = [&](const std::string& device, std::string& why) {
            setHints(opening->label, opening->applicationName);
            CardFormat want = wantedFormat(*opening->feed);
            const std::string name = sdlNameOf(device);
            const SDL_AudioDeviceID id = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
            if (id == 0)
                why = cannotOpen(device);
            return id;
        };
        SDL_AudioDeviceID id = openOn(opening->device, error);
        bool standingIn = false;
        if (id == 0 && !opening->device.empty()) {
            std::string ignored;
            id = openOn("", ignored);
            standingIn = id != 0;
        }
        opened(opening, id, have, error, standingIn);
        // SDL keeps an error text per thread, freed for its own threads only.
        SDL_TLSCleanup();
    }).detach();
    awaitOutput();
}

// On the thread of OPENING, once SDL has returned from it.
void Card::opened(const std::shared_ptr<Opening>& opening, SDL_AudioDeviceID id, const CardFormat& have,
    const std::string& error, bool standingIn)
{
    SDL_AudioDeviceID late = 0;
    bool again = false;
    {
        std::lock_guard guard(cardMutex());
        std::erase(inSdl_, opening);
        if (opening == opening_) {
            opening_.reset();
            if (id == 0) {
                std::fprintf(stderr, "quorvana: %s\n", error.c_str());
                noteFailure(error);
                release(opening->feed);
                if (anyRunning())
                    awaitOutput();
                return;
            }
            // The window chose another output, or a track with another
            // label asked, while this one opened: it opens again.
            again = opening->device != deviceName_ || !(opening->label == label_);
            if (!again) {
                deviceName_ = standingIn ? "" : opening->device;
                standingInFor_ = standingIn ? opening->device : "";
                adopt(id, opening->feed, have);
                return;
            }
        } else if (id == 0) {
            release(opening->feed);
            return;
        } else if (id == device_) {
            // Given up on, and too late. SDL numbers a device as its open
            // begins and lists it as it ends: one opened meanwhile may have
            // the same number, and SDL then knows only this one by it. The
            // card plays on this one instead; the other cannot be closed,
            // and is kept silent.
            liveFeed_->live = false;
            label_ = opening->label;
            adopt(id, opening->feed, have);
            return;
        } else if (id == retired_) {
            retired_ = 0;
            retiredFeed_ = nullptr;
        }
        late = id;
    }
    SDL_CloseAudioDevice(late);
    std::lock_guard guard(cardMutex());
    release(opening->feed);
    if (again)
        awaitOutput();
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

} // namespace audio
