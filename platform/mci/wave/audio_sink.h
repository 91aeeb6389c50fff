#pragma once
// Where the wave device's samples go: the SDL output in the program, a sink
// that tests drive by hand in the tests.
#include "platform/audio/audio_output.h"

#include <functional>
#include <memory>
#include <string>

namespace mci::wave {

class Sink {
public:
    virtual ~Sink() = default;
    virtual void start() = 0;
    // Once this returns, the render function is not running and will not run
    // again until the next start.
    virtual void pause() = 0;
};

// Opens a sink that pulls interleaved frames of FORMAT through RENDER, paused,
// shown to the sound server as LABEL. Null, with ERROR set, when no output can
// be used.
using SinkOpener = std::function<std::unique_ptr<Sink>(
    const audio::Format& format, audio::RenderFn render, std::string& error, const audio::StreamLabel& label)>;

// The sound card through SDL, on SOUND_OUTPUT (empty: the system's default).
SinkOpener sdlSinkOpener(const std::string& soundOutput = {});

} // namespace mci::wave
