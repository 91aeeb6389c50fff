#pragma once
// Watches the wave device's output for the first buffer that carries sound.
#include "platform/mci/wave/audio_sink.h"

#include <atomic>
#include <chrono>

namespace bench_support {

using Clock = std::chrono::steady_clock;

// Watches the output for the first buffer with sound in it after arming.
struct FirstSound {
    std::atomic<bool> armed{false};
    std::atomic<bool> heard{false};
    std::atomic<int64_t> at{0};
    std::atomic<int> silentCallbacks{0}; // callbacks after arming that came before the sound

    mci::wave::SinkOpener opener()
    {
        auto real = mci::wave::sdlSinkOpener();
        return [this, real](const audio::Format& f, audio::RenderFn render, std::string& error) {
            const int channels = f.channels;
            return real(f, [this, render, channels](float* out, int frames) {
                render(out, frames);
                if (!armed.load(std::memory_order_acquire))
                    return;
                for (int i = 0; i < frames * channels; ++i) {
                    if (out[i] != 0.0f) {
                        at.store(Clock::now().time_since_epoch().count());
                        armed.store(false);
                        heard.store(true);
                        heard.notify_all();
                        return;
                    }
                }
                silentCallbacks.fetch_add(1);
            }, error);
        };
    }

    // Seconds from calling START to the first buffer with sound.
    template <class Start>
    double measure(Start start)
    {
        heard = false;
        armed = true;
        const auto t0 = Clock::now();
        start();
        heard.wait(false);
        return std::chrono::duration<double>(Clock::duration(at.load()) - t0.time_since_epoch()).count();
    }
};

} // namespace bench_support
