#pragma once
// The sound card, through SDL2: one output per open device, fed from the
// audio thread by a render function. Samples are interleaved 32-bit floats.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace audio {

struct Format {
    int sampleRate = 44100;
    int channels = 2;
    int periodFrames = 512; // frames per callback asked for; the device may differ
};

// Runs on the audio thread: fill OUT with FRAMES frames. It must neither block
// nor allocate; whatever it leaves unwritten is silence already.
using RenderFn = std::function<void(float* out, int frames)>;

class Output {
public:
    // Opens the default output device, paused. Returns null and sets ERROR when
    // no audio device can be used: a machine without sound still runs the player.
    static std::unique_ptr<Output> open(const Format& wanted, RenderFn render, std::string& error);

    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    const Format& format() const { return format_; }
    void start();
    void pause();
    bool running() const { return running_; }

    // While a Lock lives the render function is not running.
    class Lock {
    public:
        explicit Lock(Output& out);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        Output& out_;
    };

private:
    Output() = default;
    static void callback(void* self, uint8_t* stream, int len);

    uint32_t device_ = 0;
    Format format_;
    RenderFn render_;
    bool running_ = false;
};

} // namespace audio
