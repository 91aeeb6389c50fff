#pragma once
// The sound card: one SDL device for the whole run, the slots of the streams
// mixed into it, and its rest when nothing plays. Internal to the audio
// layer: the rest of the program sees audio_output.h.
#include "platform/audio/audio_output.h"
#include "platform/audio/converter.h"
#include "platform/audio/output_list.h"
#include "platform/base/rest_timer.h"

#include <SDL.h>

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

namespace audio {

// SDL's record of a device's format, named by the open call that takes it.
template <typename> struct ThirdParameter;
template <typename R, typename A, typename B, typename C, typename... Rest>
struct ThirdParameter<R (*)(A, B, C, Rest...)> {
    using type = std::remove_cv_t<std::remove_pointer_t<C>>;
};
using CardFormat = ThirdParameter<decltype(&SDL_OpenAudioDevice)>::type;

constexpr int kCardRate = 44100;
constexpr int kCardChannels = 2;
constexpr int kCardPeriod = 512;
constexpr int kMaxStreams = 16;

struct Output::Stream {
    RenderFn render;
    std::unique_ptr<Converter> converter; // null: the stream is in the card's format
    std::vector<float> scratch;
    std::atomic<bool> running {false};
    StreamLabel label; // under the card mutex
};

// Guards the card's device and its slots: opening a stream may move the card
// to another device while other threads pause or drop theirs.
std::mutex& cardMutex();

// TEXT with every byte that is not part of a UTF-8 character replaced by U+FFFD.
std::string validUtf8(const std::string& text);

// Every member runs under the card mutex unless it says otherwise.
class Card {
public:
    // Opens the card on DEVICE (empty: the system's default) or, when it is
    // open on another device, moves every stream over to DEVICE, showing
    // LABEL. When DEVICE cannot be opened the card stays where it was; when
    // it is the chosen output that went, the default plays on for it.
    bool open(const std::string& device, std::string& error, const StreamLabel& label);

    // SDL gave the open device up: it failed, or went away, or it stopped
    // calling back while streams play (SDL's PipeWire driver, when the server
    // goes away, reports nothing and just falls silent).
    bool lost() const { return device_ != 0 && (stalled_ || SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED); }
    // The output went and the mender brings it back: streams join the card
    // meanwhile and play once it is back.
    bool awaited() const { return device_ == 0 && awaited_; }
    // A try of the mender's is still inside SDL, which holds one lock of its
    // own across a whole open: an open on the window's thread would wait for
    // it, and SDL's PipeWire driver may never return from one whose server
    // died under it. Only the mender opens then.
    bool sdlBusy() const { return !inSdl_.empty(); }

    // Whether DEVICE can be opened now, without moving the card to it.
    bool probe(const std::string& device, std::string& error);
    std::vector<std::string> devices(std::string& error);

    int period() const { return period_; }
    bool isOpen() const { return device_ != 0; }
    // Open, or closed only while it slept or while its output is away.
    bool inUse() const { return device_ != 0 || closedAsleep_ || awaited_; }
    bool awake() const { return device_ != 0 && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PLAYING; }

    bool add(Output::Stream* stream);
    void remove(Output::Stream* stream);

    // Why the output that streams play on is gone, once it has failed to
    // come back for GRACE; empty while it plays or may yet come back. Asked
    // at every tick of the window's thread, without the card mutex: it never
    // waits for the card, which may be held up by a server that does not
    // answer.
    std::string failure(std::chrono::milliseconds grace) const;

    // While the card plays, a stream that starts under another LABEL takes
    // the server's stream over; see handOver(). A stream without a label
    // leaves the card's as it is.
    void show(const StreamLabel& label);
    // Reopens a card closed asleep showing LABEL, the waking stream's.
    void wake(const StreamLabel& label);

    void setTap(Tap tap);
    void setCloseAfter(std::chrono::milliseconds delay) { sleepTimer_.setDelay(delay); }
    // The gain of everything the card plays, 0 to 1; it takes effect at the
    // next period. Without the card mutex.
    void setGain(float gain);
    float gain() const { return gain_.load(std::memory_order_relaxed); }
    // Told to the sound server before SDL first connects to it, and again at
    // every open.
    void setApplicationName(const std::string& name) { applicationName_ = name; }

    void lock() { SDL_LockAudioDevice(device_); }
    void unlock() { SDL_UnlockAudioDevice(device_); }

private:
    // One per SDL device the card has open: while a hand-over plays out, the
    // old device and the new one both call back, and only the live one mixes.
    struct Feed {
        Card* card;
        std::atomic<SDL_AudioDeviceID> device {0};
        std::atomic<bool> live {false};
        bool taken = false; // by a device, or an open under way
    };

    // One try of the mender to open an output, on a thread of its own: SDL
    // may wait for a server that never answers, and then never returns.
    struct Opening {
        std::string device; // the chosen output
        StreamLabel label;
        std::string applicationName;
        Feed* feed;
        std::chrono::steady_clock::time_point started;
    };

    static void callback(void* feed, uint8_t* bytes, int len);
    void mix(float* out, int frames, SDL_AudioDeviceID device);
    bool anyRunning() const;
    void closeIfStillAsleep();
    void mend();
    void startOpening(const std::shared_ptr<Opening>& opening);
    void opened(const std::shared_ptr<Opening>& opening, SDL_AudioDeviceID id, const CardFormat& have,
        const std::string& error, bool standingIn);
    void adopt(SDL_AudioDeviceID id, Feed* feed, const CardFormat& have);
    void awaitOutput();
    Feed* spareFeed();
    static void release(Feed* feed);
    bool standsInFor(const std::string& device);
    // What SDL opens DEVICE by now (see OutputList::sdlName); DEVICE itself
    // while it is not listed, so that it fails as it did.
    std::string sdlNameOf(const std::string& device)
    {
        const std::string listed = outputs_.sdlName(device);
        return listed.empty() ? device : listed;
    }
    bool openStandIn(const std::string& device, const StreamLabel& label);
    void watch();
    void checkCallingBack();
    void handOver(const StreamLabel& label);
    void endHandOver();
    void retire();

    bool initialise(std::string& error);
    bool relist();
    CardFormat wantedFormat(Feed& feed);
    static std::string cannotOpen(const std::string& device);
    bool openListed(const std::string& device, const StreamLabel& label, std::string& error);
    bool openDevice(const std::string& device, const StreamLabel& label, std::string& error);
    static void setHint(const char* name, const std::string& value);
    static void setHints(const StreamLabel& label, const std::string& applicationName);
    void setHints(const StreamLabel& label) { setHints(label, applicationName_); }
    void close();
    void noteFailure(const std::string& error);

    SDL_AudioDeviceID device_ = 0;
    std::string deviceName_;
    StreamLabel label_; // what the open device shows
    std::string applicationName_;
    std::string standingInFor_; // the chosen output, gone, that the default plays for
    int period_ = kCardPeriod;
    std::array<Output::Stream*, kMaxStreams> slots_ {};
    bool closedAsleep_ = false; // closed while asleep: the next start reopens it
    Tap tap_;
    std::atomic<bool> mending_ {false};
    bool awaited_ = false; // the output failed and nothing has opened since

    // The mender's try whose output the card takes; the tries SDL has not
    // returned from yet, this one or given up on. While any is in SDL, SDL's
    // sound is never started anew: that would pull its driver from under them.
    std::shared_ptr<Opening> opening_;
    std::vector<std::shared_ptr<Opening>> inSdl_;

    std::deque<Feed> feeds_; // never shrinks: SDL may call back into one until the end
    Feed* liveFeed_ = nullptr; // the feed of device_
    Feed* retiredFeed_ = nullptr;
    SDL_AudioDeviceID retired_ = 0; // handed over from, playing out what it holds

    bool sdlUp_ = false; // SDL's sound is started
    bool everUp_ = false;
    std::string startError_; // why SDL's sound never started: a machine without sound
    OutputList outputs_;

    // Why the last try to bring a lost output back failed, since when;
    // empty once an output opens.
    mutable std::mutex failureMutex_;
    std::string failure_;
    std::chrono::steady_clock::time_point failedSince_;
    std::atomic<bool> failed_ {false};

    std::atomic<float> gain_ {1.0f};
    std::atomic<unsigned> callbacks_ {0};
    unsigned seenCallbacks_ = 0; // by the last watch
    bool stalled_ = false; // open, but no longer calling back while streams run

    rest_timer::RestTimer mender_ {std::chrono::milliseconds(200), [this] { mend(); }};
    // Some forty periods: a server that keeps the card waiting longer is gone.
    rest_timer::RestTimer watchdog_ {std::chrono::milliseconds(500), [this] { checkCallingBack(); }};
    // A paused SDL device still wakes every period to play silence: once the
    // card has slept a while it is closed, so that an idle player sleeps too.
    rest_timer::RestTimer sleepTimer_ {std::chrono::seconds(3), [this] { closeIfStillAsleep(); }};
    // Long enough for the server to play what the old device of a hand-over
    // still holds.
    rest_timer::RestTimer retirer_ {std::chrono::milliseconds(300), [this] { endHandOver(); }};
};

// The one card of the process.
Card& card();

} // namespace audio
