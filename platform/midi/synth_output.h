#pragma once
// The built-in synthesizer as an output: messages go through a ring to the
// audio thread, which applies each one at the sample its due time maps to on
// the card's sample clock (see SynthFeed), a fixed delay after it was due.
#include "platform/audio/audio_output.h"
#include "platform/base/rest_timer.h"
#include "platform/midi/output.h"
#include "platform/midi/synth.h"
#include "platform/midi/synth_feed.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

namespace midi {

class SynthOutput final : public Output {
public:
    // SOUND_OUTPUT names the sound card's device (empty: the system's default);
    // LABEL is what the sound server shows when the synthesizer opens the card.
    static std::unique_ptr<SynthOutput> open(const std::string& soundfont, const std::string& soundOutput,
        std::string& error, const audio::StreamLabel& label = {});
    ~SynthOutput() override;

    void send(std::span<const uint8_t> message, TimePoint due) override;
    Clock::duration delay() const override;
    // Reads the samples of the programs SONG selects, and lets go of the rest.
    void prepare(const Song& song) override;

    // Plays on with SOUNDFONT from now on. It is loaded beside the one in use,
    // which keeps playing until the new one is ready and stays when the new
    // one does not load (false and ERROR set). The new one gets the last GM
    // or GS reset sent, so that the song after it finds the mode it asked
    // for. Not while a song plays: its sounding notes are cut.
    bool useSoundfont(const std::string& soundfont, std::string& error);
    const std::string& soundfont() const { return soundfont_; }
    // The song's label, shown when the synthesizer next opens the card.
    void setLabel(const audio::StreamLabel& label) { audio_->setLabel(label); }

    // Runs FN with the synthesizer while the audio thread keeps off it.
    void withSynth(const std::function<void(Synth&)>& fn);
    // Messages dropped because the audio thread stopped taking them.
    uint64_t dropped() const { return dropped_.load(); }
    // Rendering: notes or effects sound, or messages wait.
    bool rendering() const { return audio_->running(); }

    // Once it has rested this long (3 s unless set) the synthesizer lets go
    // of its samples; the next song or message reads back what it needs.
    void setReleaseAfter(std::chrono::milliseconds delay);
    bool samplesReleased() const { return released_.load(); }

private:
    SynthOutput() : feed_(audio::Format {}.sampleRate) { }
    void render(float* out, int frames);
    void idleWhenQuiet(const float* out, int frames);
    void releaseSamples();
    void restoreIfReleased();

    std::unique_ptr<Synth> synth_;
    std::string soundfont_;
    std::unique_ptr<audio::Output> audio_;
    SynthFeed feed_;
    std::mutex producers_;
    std::vector<uint8_t> lastReset_; // under producers_
    bool stalled_ = false; // under producers_: the audio thread stopped taking messages
    std::atomic<uint64_t> dropped_ {0};
    int quietFrames_ = 0; // audio thread only: frames of silence since the last sound

    std::atomic<bool> released_{false};
    std::unique_ptr<rest_timer::RestTimer> releaser_; // lets go of the samples once at rest
};

} // namespace midi
