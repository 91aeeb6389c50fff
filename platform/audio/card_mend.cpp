// The card when its output goes: the mender, which opens the chosen output
// again or stands in with the system's default, the watchdog, which notices a
// card that no longer calls back, and the failure the window is told of.
#include "platform/audio/card.h"

#include <cstdio>

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

// The output failed while streams played on it, or the chosen output the
// default plays for is back: the chosen one is opened again, or the default
// takes over, and the streams play on. While nothing opens it is tried
// again every little while.
void Card::mend()
{
    std::lock_guard guard(cardMutex());
    mending_ = false;
    const bool back = device_ != 0 && !standingInFor_.empty() && outputs_.listed(standingInFor_);
    if (!lost() && !lostOpen_ && !back)
        return;
    std::string error;
    const std::string chosen = standingInFor_.empty() ? deviceName_ : standingInFor_;
    lostOpen_ = true;
    if (open(chosen, error, label_))
        return;
    std::fprintf(stderr, "quorvana: %s\n", error.c_str());
    noteFailure(error);
    if (anyRunning()) {
        mending_ = true;
        mender_.rested();
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

} // namespace audio
