#pragma once
// The sound card: one SDL device for the whole run, the slots of the streams
// mixed into it, and its rest when nothing plays. Internal to the audio
// layer: the rest of the program sees audio_output.h.
#include "platform/audio/audio_output.h"
#include "platform/audio/converter.h"
#include "platform/base/rest_timer.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>

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
constexpr const char* kRoleNames[] = {"music", "video"}; // by Role
constexpr const char* kPulseRole = "PULSE_PROP_media.role";

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

class Card {
public:
    // Opens the card on DEVICE (empty: the system's default) or, when it is
    // open on another device, moves every stream over to DEVICE, showing
    // LABEL. When DEVICE cannot be opened the card stays where it was.
    bool open(const std::string& device, std::string& error, const StreamLabel& label)
    {
        const bool lost = this->lost() || lostOpen_;
        if (device_ != 0 && !lost && (device == deviceName_ || (device == standingInFor_ && !device.empty())))
            return true;
        if (!initialise(error))
            return false;
        // Some drivers allow one open device only: the old one goes first.
        const std::string previous = deviceName_;
        const StreamLabel previousLabel = label_;
        const bool wasOpen = device_ != 0;
        close();
        if (openDevice(device, label, error))
            return true;
        if (lost && !device.empty()) {
            // The output that played is gone (unplugged, its server
            // restarted): the system's default takes over, and the choice
            // stays for when it comes back.
            std::string ignored;
            if (openDevice("", label, ignored)) {
                standingInFor_ = device;
                return true;
            }
        } else if (wasOpen) {
            std::string ignored;
            openDevice(previous, previousLabel, ignored);
        }
        return false;
    }

    // SDL gave the open device up: it failed, or went away, or it stopped
    // calling back while streams play (SDL's PipeWire driver, when the server
    // goes away, reports nothing and just falls silent).
    bool lost() const { return device_ != 0 && (stalled_ || SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED); }

    // Whether DEVICE can be opened now, without moving the card to it.
    bool probe(const std::string& device, std::string& error)
    {
        if (device_ != 0 && device == deviceName_)
            return true;
        if (!initialise(error))
            return false;
        if (device_ != 0) {
            // Some drivers open one device at a time: being listed must do.
            std::vector<std::string> listed = devices(error);
            if (device.empty() || std::find(listed.begin(), listed.end(), device) != listed.end())
                return true;
            error = "The sound output \"" + device + "\" is not connected.";
            return false;
        }
        CardFormat want = wantedFormat();
        want.callback = nullptr; // nothing is played through it
        CardFormat have {};
        const SDL_AudioDeviceID id = SDL_OpenAudioDevice(
            device.empty() ? nullptr : device.c_str(), 0, &want, &have, SDL_AUDIO_ALLOW_ANY_CHANGE);
        if (id == 0) {
            error = cannotOpen(device);
            return false;
        }
        SDL_CloseAudioDevice(id);
        return true;
    }

    std::vector<std::string> devices(std::string& error)
    {
        std::vector<std::string> names;
        if (!initialise(error))
            return names;
        const int count = SDL_GetNumAudioDevices(0);
        for (int i = 0; i < count; ++i)
            if (const char* name = SDL_GetAudioDeviceName(i, 0); name && *name)
                names.emplace_back(name);
        return names;
    }

    int period() const { return period_; }
    bool isOpen() const { return device_ != 0; }
    // Open, or closed only while it slept.
    bool inUse() const { return device_ != 0 || closedAsleep_; }

    bool add(Output::Stream* stream)
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

    void remove(Output::Stream* stream)
    {
        SDL_LockAudioDevice(device_);
        for (Output::Stream*& slot : slots_)
            if (slot == stream)
                slot = nullptr;
        SDL_UnlockAudioDevice(device_);
    }

    bool awake() const { return device_ != 0 && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PLAYING; }

    // Why the output that streams play on is gone, once it has failed to
    // come back for GRACE; empty while it plays or may yet come back. Asked
    // at every tick of the window's thread: it never waits for the card,
    // which may be held up by a server that does not answer.
    std::string failure(std::chrono::milliseconds grace) const
    {
        if (!failed_.load(std::memory_order_acquire))
            return {};
        std::lock_guard guard(failureMutex_);
        if (std::chrono::steady_clock::now() - failedSince_ < grace)
            return {};
        return failure_;
    }
    // Reopens a card closed asleep showing LABEL, the waking stream's.
    void wake(const StreamLabel& label)
    {
        if (device_ != 0 && !(label == label_) && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PAUSED) {
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
            lostOpen_ = true;
            if (!mending_.exchange(true))
                mender_.rested();
            return;
        }
        if (device_ != 0) {
            SDL_PauseAudioDevice(device_, 0);
            watch();
            return;
        }
        if (!closedAsleep_)
            return;
        // Reopened where it was; a device gone meanwhile is reported by the
        // next stream to open, as this one has no one to tell.
        std::string error;
        closedAsleep_ = false;
        if (!openDevice(deviceName_, label, error))
            std::fprintf(stderr, "quorvana: %s\n", error.c_str());
    }

    // Under the card mutex, like every change to the device.
    void setTap(Tap tap)
    {
        lock();
        tap_ = std::move(tap);
        unlock();
    }

    void setCloseAfter(std::chrono::milliseconds delay) { sleepTimer_.setDelay(delay); }

    // The gain of everything the card plays, 0 to 1; it takes effect at the
    // next period.
    void setGain(float gain)
    {
        if (!std::isnan(gain))
            gain_.store(std::clamp(gain, 0.0f, 1.0f), std::memory_order_relaxed);
    }
    float gain() const { return gain_.load(std::memory_order_relaxed); }

    // Under the card mutex; told to the sound server before SDL first
    // connects to it, and again at every open.
    void setApplicationName(const std::string& name) { applicationName_ = name; }

    void lock() { SDL_LockAudioDevice(device_); }
    void unlock() { SDL_UnlockAudioDevice(device_); }

private:
    void closeIfStillAsleep()
    {
        std::lock_guard guard(cardMutex());
        if (device_ != 0 && !anyRunning()) {
            close();
            closedAsleep_ = true;
        }
    }

    static void callback(void* self, uint8_t* bytes, int len)
    {
        auto* card = static_cast<Card*>(self);
        card->callbacks_.fetch_add(1, std::memory_order_relaxed);
        card->mix(reinterpret_cast<float*>(bytes), len / int(sizeof(float)) / kCardChannels);
    }

    void mix(float* out, int frames)
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

    // The output failed while streams played on it: it is opened again, or
    // the default takes over, and the streams play on. While nothing opens
    // it is tried again every second.
    void mend()
    {
        std::lock_guard guard(cardMutex());
        mending_ = false;
        if (!lost() && !lostOpen_)
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

    // While streams run the card must call back: the watch looks again
    // every little while for as long as they do, and a card that has not
    // called back since is mended as a lost one.
    void watch()
    {
        seenCallbacks_ = callbacks_.load(std::memory_order_relaxed);
        watchdog_.rested();
    }

    void checkCallingBack()
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

    bool anyRunning() const
    {
        return std::any_of(slots_.begin(), slots_.end(),
            [](const Output::Stream* s) { return s && s->running.load(std::memory_order_acquire); });
    }

    bool initialise(std::string& error)
    {
        static std::once_flag once;
        static std::string initError;
        std::call_once(once, [this] {
            SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
            setHint(SDL_HINT_APP_NAME, applicationName_);
            setenv(kPulseRole, kRoleNames[static_cast<int>(pulseRole_)], 1);
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
                initError = SDL_GetError();
        });
        if (initError.empty())
            return true;
        error = "No audio output device is available (" + initError + ").";
        return false;
    }

    CardFormat wantedFormat()
    {
        CardFormat want {};
        want.freq = kCardRate;
        want.format = AUDIO_F32SYS;
        want.channels = kCardChannels;
        want.samples = kCardPeriod;
        want.callback = &Card::callback;
        want.userdata = this;
        return want;
    }

    static std::string cannotOpen(const std::string& device)
    {
        const std::string why = SDL_GetError();
        if (device.empty())
            return "No audio output device is available (" + why + ").";
        return "The sound output \"" + device + "\" cannot be opened (" + why + ").";
    }

    // SDL's PulseAudio driver has one connection for all its streams and
    // passes no role of its own: the server gives a stream the role of its
    // connection, which libpulse reads from the environment as it connects.
    // A stream of another role therefore connects anew (the card is closed
    // here, and only the card uses SDL's sound).
    void connectForRole(Role role)
    {
        if (role == pulseRole_)
            return;
        const char* driver = SDL_GetCurrentAudioDriver();
        if (!driver || std::strcmp(driver, "pulseaudio") != 0)
            return;
        pulseRole_ = role;
        setenv(kPulseRole, kRoleNames[static_cast<int>(role)], 1);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            std::fprintf(stderr, "quorvana: %s\n", SDL_GetError());
    }

    // SDL passes the hints on to the sound server only as a device opens.
    bool openDevice(const std::string& device, const StreamLabel& label, std::string& error)
    {
        connectForRole(label.role);
        setHint(SDL_HINT_APP_NAME, applicationName_);
        setHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, label.name);
        setHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, kRoleNames[static_cast<int>(label.role)]);
        CardFormat want = wantedFormat();
        CardFormat have {};
        // SDL converts to whatever the card takes; a machine without sound
        // may report a driver as ready and only fail here.
        device_ = SDL_OpenAudioDevice(device.empty() ? nullptr : device.c_str(), 0, &want, &have, 0);
        if (device_ == 0) {
            error = cannotOpen(device);
            return false;
        }
        deviceName_ = device;
        label_ = label;
        standingInFor_.clear();
        lostOpen_ = false;
        noteFailure({});
        stalled_ = false;
        period_ = have.samples;
        // Streams moved over from another device may be running.
        SDL_PauseAudioDevice(device_, 0);
        if (anyRunning())
            watch();
        return true;
    }

    // Empty: SDL's own. A sound server may refuse a stream whose texts are
    // not UTF-8, and file names need not be.
    static void setHint(const char* name, const std::string& value)
    {
        SDL_SetHint(name, value.empty() ? nullptr : validUtf8(value).c_str());
    }

    // Waits for a callback under way; the streams stay in their slots.
    void close()
    {
        if (device_ != 0)
            SDL_CloseAudioDevice(device_);
        device_ = 0;
        closedAsleep_ = false;
    }

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
    bool lostOpen_ = false; // the output failed and nothing has opened since
    // Why the last try to bring a lost output back failed, since when;
    // empty once an output opens.
    void noteFailure(const std::string& error)
    {
        std::lock_guard guard(failureMutex_);
        if (!error.empty() && failure_.empty())
            failedSince_ = std::chrono::steady_clock::now();
        failure_ = error;
        failed_.store(!error.empty(), std::memory_order_release);
    }
    mutable std::mutex failureMutex_;
    std::string failure_;
    std::chrono::steady_clock::time_point failedSince_;
    std::atomic<bool> failed_ {false};

    std::atomic<float> gain_ {1.0f};
    std::atomic<unsigned> callbacks_ {0};
    unsigned seenCallbacks_ = 0; // by the last watch
    bool stalled_ = false; // open, but no longer calling back while streams run
    Role pulseRole_ = Role::Music; // the role of SDL's PulseAudio connection

    rest_timer::RestTimer mender_ {std::chrono::milliseconds(200), [this] { mend(); }};
    // Some forty periods: a server that keeps the card waiting longer is gone.
    rest_timer::RestTimer watchdog_ {std::chrono::milliseconds(500), [this] { checkCallingBack(); }};

    // A paused SDL device still wakes every period to play silence: once the
    // card has slept a while it is closed, so that an idle player sleeps too.
    rest_timer::RestTimer sleepTimer_ {std::chrono::seconds(3), [this] { closeIfStillAsleep(); }};
};

// The one card of the process.
Card& card();

} // namespace audio
