// SDL, loaded when the sound card is first wanted: it brings the display
// servers' and sound servers' client libraries along.
#include "platform/base/lazy_library.h"

#include <SDL.h>

static constinit lazy_library::Library sdl("libSDL2-2.0.so.0");

#define FORWARD(failure, ret, name, params, args) QUORVANA_FORWARD(sdl, failure, ret, name, params, args)

FORWARD(-1, int, SDL_InitSubSystem, (Uint32 flags), (flags))
FORWARD(sdl.openFailure(), const char*, SDL_GetError, (void), ())
FORWARD(SDL_FALSE, SDL_bool, SDL_SetHint, (const char* name, const char* value), (name, value))
FORWARD(nullptr, const char*, SDL_GetHint, (const char* name), (name)) // what the tests read back
FORWARD(, void, SDL_QuitSubSystem, (Uint32 flags), (flags))
FORWARD(nullptr, const char*, SDL_GetCurrentAudioDriver, (void), ())
FORWARD(, void, SDL_SetEventFilter, (SDL_EventFilter filter, void* userdata), (filter, userdata))
FORWARD(0, int, SDL_GetNumAudioDevices, (int iscapture), (iscapture))
FORWARD(nullptr, const char*, SDL_GetAudioDeviceName, (int index, int iscapture), (index, iscapture))
FORWARD(0, SDL_AudioDeviceID, SDL_OpenAudioDevice,
    (const char* device, int iscapture, const SDL_AudioSpec* desired, SDL_AudioSpec* obtained, int allowed_changes),
    (device, iscapture, desired, obtained, allowed_changes))
FORWARD(SDL_AUDIO_STOPPED, SDL_AudioStatus, SDL_GetAudioDeviceStatus, (SDL_AudioDeviceID dev), (dev))
FORWARD(, void, SDL_PauseAudioDevice, (SDL_AudioDeviceID dev, int pause_on), (dev, pause_on))
FORWARD(, void, SDL_LockAudioDevice, (SDL_AudioDeviceID dev), (dev))
FORWARD(, void, SDL_UnlockAudioDevice, (SDL_AudioDeviceID dev), (dev))
FORWARD(, void, SDL_CloseAudioDevice, (SDL_AudioDeviceID dev), (dev))
FORWARD(, void, SDL_TLSCleanup, (void), ())
