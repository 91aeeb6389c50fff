#pragma once
// The built-in synthesizer: FluidSynth with a General MIDI soundfont. It
// takes wire messages and renders stereo float frames; where they sound is
// up to its owner. Not thread-safe: one thread at a time.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

namespace lazy_library {
class Library;
}

namespace midi {

struct ProgramChoice;

// FluidSynth itself, opened when the first synthesizer is made.
lazy_library::Library& fluidsynthLibrary();

// Samples read when a program selects them and released when none does, or
// the whole soundfont read at once.
enum class SampleLoading { OnDemand, Whole };

class Synth {
public:
    // Null and ERROR set when SOUNDFONT does not load. CORES threads share
    // the voices' rendering: one for the sound card, more where nothing
    // waits for the sound.
    static std::unique_ptr<Synth> create(int sampleRate, const std::string& soundfont, std::string& error,
        SampleLoading loading = SampleLoading::OnDemand, int cores = 1);
    ~Synth();
    Synth(const Synth&) = delete;
    Synth& operator=(const Synth&) = delete;

    // A channel message, a whole SysEx packet, or a piece of one sent in F7
    // escapes; pieces are put together before FluidSynth sees them.
    void apply(std::span<const uint8_t> message);
    // Interleaved stereo.
    void render(float* out, int frames);

    // Keeps the samples of CHOICES in memory until the next call, beside
    // those the channels use: a program change that had to read them would
    // hold up the audio thread. Those no longer wanted are released.
    void holdPrograms(std::span<const ProgramChoice> choices);
    // No note sounds or fades; effects may still ring.
    bool voiceless() const;

    // Lets go of every sample, held or selected, keeping what each channel
    // had selected; a player at rest need not carry a song's instruments.
    void releaseSamples();
    // Selects again what the channels had before the release, reading the
    // samples back. Nothing when nothing was released.
    void restoreSamples();

    fluid_synth_t* handle() { return synth_; }
    int sampleRate() const { return sampleRate_; }

private:
    Synth() = default;
    bool createHolder();
    void sysex(std::span<const uint8_t> packet);

    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    // A second synthesizer on the same soundfont that never plays: its
    // channels select the held programs, which no reset of ours touches.
    fluid_settings_t* holderSettings_ = nullptr;
    fluid_synth_t* holder_ = nullptr;
    bool holdingUpper_ = false; // which half of the holder's channels holds now
    struct Selection {
        int soundfont = -1, bank = 0, program = 0;
    };
    std::vector<Selection> released_; // per channel, while released
    int sampleRate_ = 44100;
    // A SysEx whose F7 is still to come; longer ones are nothing FluidSynth
    // understands and are dropped.
    std::array<uint8_t, 4096> pending_{};
    size_t pendingSize_ = 0;
    bool pendingOpen_ = false;
};

} // namespace midi
