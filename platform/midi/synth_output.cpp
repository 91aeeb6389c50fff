#include "platform/midi/synth_output.h"

#include "platform/midi/chase.h"
#include "platform/midi/messages.h"

#include <algorithm>
#include <cmath>
#include <malloc.h>
#include <thread>

namespace midi {

namespace {

int64_t nanos(TimePoint t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

} // namespace

std::unique_ptr<SynthOutput> SynthOutput::open(
    const std::string& soundfont, const std::string& soundOutput, std::string& error, const audio::StreamLabel& label)
{
    std::unique_ptr<SynthOutput> out(new SynthOutput);
    audio::Format format;
    out->synth_ = Synth::create(format.sampleRate, soundfont, error);
    if (!out->synth_)
        return nullptr;
    out->soundfont_ = soundfont;
    SynthOutput* self = out.get();
    out->audio_ = audio::Output::open(
        format, [self](float* buffer, int frames) { self->render(buffer, frames); }, soundOutput, error, label);
    if (!out->audio_)
        return nullptr;
    out->releaser_ = std::make_unique<rest_timer::RestTimer>(std::chrono::seconds(3), [self] { self->releaseSamples(); });
    return out; // it starts with the first message
}

SynthOutput::~SynthOutput()
{
    releaser_.reset(); // before what it releases
    audio_.reset(); // the audio thread stops before the synthesizer goes
}

void SynthOutput::setReleaseAfter(std::chrono::milliseconds delay) { releaser_->setDelay(delay); }

void SynthOutput::releaseSamples()
{
    {
        // No message can slip in between the look and the release.
        std::lock_guard producers(producers_);
        withSynth([this](Synth& synth) {
            if (audio_->running() || !synth.voiceless() || feed_.pending())
                return;
            synth.releaseSamples();
            released_ = true;
        });
    }
    // The samples were many small blocks; the heap gives their pages back.
    malloc_trim(0);
}

void SynthOutput::restoreIfReleased()
{
    if (!released_.load())
        return;
    withSynth([this](Synth& synth) {
        synth.restoreSamples();
        released_ = false;
    });
}

void SynthOutput::send(std::span<const uint8_t> message, TimePoint due)
{
    if (message.empty() || message.size() > SynthFeed::kLongestMessage)
        return;
    std::lock_guard lock(producers_);
    restoreIfReleased();
    if (message[0] == 0xF0 && resetKind(message) != ResetKind::None)
        lastReset_.assign(message.begin(), message.end());
    // A full ring empties within an audio period; one that stays full means
    // the audio thread has stopped, and waiting longer would hang the player.
    // Once it has, the rest of a flood is dropped at once, not after a wait each.
    for (int waited = 0; !feed_.push(message, nanos(due)); ++waited) {
        if (waited == 250 || stalled_) {
            stalled_ = true;
            dropped_.fetch_add(1);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stalled_ = false;
    // Pairs with the fence in render(): either it sees this message or this
    // sees it idle.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!audio_->running())
        audio_->start();
}

void SynthOutput::prepare(const Song& song)
{
    const std::vector<ProgramChoice> choices = programsSelected(song);
    withSynth([&](Synth& synth) {
        synth.holdPrograms(choices);
        synth.restoreSamples();
        released_ = false;
    });
}

bool SynthOutput::useSoundfont(const std::string& soundfont, std::string& error)
{
    if (soundfont == soundfont_)
        return true;
    std::unique_ptr<Synth> fresh = Synth::create(synth_->sampleRate(), soundfont, error);
    if (!fresh)
        return false;
    {
        std::lock_guard lock(producers_);
        fresh->apply(lastReset_);
    }
    {
        audio::Output::Lock lock(*audio_);
        synth_.swap(fresh);
        released_ = false;
    }
    soundfont_ = soundfont;
    return true; // the old synthesizer goes here, off the audio thread
}

void SynthOutput::withSynth(const std::function<void(Synth&)>& fn)
{
    audio::Output::Lock lock(*audio_);
    fn(*synth_);
}

Clock::duration SynthOutput::delay() const
{
    return std::chrono::nanoseconds(feed_.delayNanos());
}

void SynthOutput::render(float* out, int frames)
{
    feed_.render(*synth_, out, frames, nanos(Clock::now()));
    idleWhenQuiet(out, frames);
}

// With no voice left the effects still ring for a while; once they have
// faded below hearing for a moment the synthesizer stops rendering until the
// next message.
void SynthOutput::idleWhenQuiet(const float* out, int frames)
{
    constexpr float inaudible = 1e-6f; // -120 dB
    const bool quiet = synth_->voiceless() && std::all_of(out, out + 2 * frames, [](float v) {
        return std::abs(v) < inaudible;
    });
    quietFrames_ = quiet ? quietFrames_ + frames : 0;
    if (quietFrames_ < synth_->sampleRate() / 4)
        return;
    quietFrames_ = 0;
    releaser_->rested();
    audio_->setIdle(true);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (feed_.pending())
        audio_->setIdle(false);
}

} // namespace midi
