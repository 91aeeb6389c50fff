#include "platform/audio/audio_output.h"

#include <SDL.h>

#include <cstring>
#include <mutex>

namespace audio {

namespace {

// SDL's audio subsystem is set up once for the whole process and kept: the
// drivers open and close outputs all the time and re-initialising is slow.
bool ensureSdlAudio(std::string& error)
{
    static std::once_flag once;
    static bool ok = false;
    static std::string why;
    std::call_once(once, [] {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0)
            ok = true;
        else
            why = SDL_GetError();
    });
    if (!ok)
        error = "No audio output device is available (" + why + ").";
    return ok;
}

} // namespace

std::unique_ptr<Output> Output::open(const Format& wanted, RenderFn render, std::string& error)
{
    if (!ensureSdlAudio(error))
        return nullptr;
    std::unique_ptr<Output> out(new Output);
    out->render_ = std::move(render);

    SDL_AudioSpec want{};
    want.freq = wanted.sampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(wanted.channels);
    want.samples = static_cast<Uint16>(wanted.periodFrames);
    want.callback = &Output::callback;
    want.userdata = out.get();
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the card takes, so every
    // driver renders in the format it asked for.
    out->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (out->device_ == 0) {
        // SDL may report a driver as ready on a machine without sound: only
        // the open tells the truth.
        error = std::string("No audio output device is available (") + SDL_GetError() + ").";
        return nullptr;
    }
    out->format_ = wanted;
    out->format_.periodFrames = have.samples;
    return out;
}

Output::~Output()
{
    if (device_ != 0)
        SDL_CloseAudioDevice(device_);
}

void Output::start()
{
    SDL_PauseAudioDevice(device_, 0);
    running_ = true;
}

void Output::pause()
{
    SDL_PauseAudioDevice(device_, 1);
    running_ = false;
}

Output::Lock::Lock(Output& out) : out_(out) { SDL_LockAudioDevice(out_.device_); }
Output::Lock::~Lock() { SDL_UnlockAudioDevice(out_.device_); }

void Output::callback(void* self, uint8_t* stream, int len)
{
    auto* out = static_cast<Output*>(self);
    std::memset(stream, 0, static_cast<size_t>(len));
    const int frames = len / static_cast<int>(sizeof(float)) / out->format_.channels;
    if (out->render_)
        out->render_(reinterpret_cast<float*>(stream), frames);
}

} // namespace audio
