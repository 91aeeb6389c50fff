#include "platform/midi/synth.h"

#include "platform/midi/chase.h"
#include "platform/midi/messages.h"
#include "platform/base/lazy_library.h"

#include <fluidsynth.h>

#include <cstring>

namespace midi {

namespace {

// FluidSynth reports through its log; a player has no console to show it on.
void quietLog(int, const char*, void*) {}

// Programs held at once; a song that selects more reads the rest as it plays.
constexpr int kHeldPrograms = 32;

void silenceLog()
{
    static const bool silenced = [] {
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level)
            fluid_set_log_function(level, quietLog, nullptr);
        return true;
    }();
    (void)silenced;
}

void configure(fluid_settings_t* settings, int sampleRate, SampleLoading loading, int cores = 1)
{
    fluid_settings_setnum(settings, "synth.sample-rate", sampleRate);
    // One thread renders and applies events; FluidSynth's own lock would only
    // make the audio thread wait.
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    fluid_settings_setint(settings, "synth.cpu-cores", cores);
    // FluidSynth takes a GS reset only when addressed to device 16.
    fluid_settings_setint(settings, "synth.device-id", 16);
    // A General MIDI soundfont is over a hundred megabytes, most of which a
    // song never plays.
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", loading == SampleLoading::OnDemand);
}

} // namespace

std::unique_ptr<Synth> Synth::create(
    int sampleRate, const std::string& soundfont, std::string& error, SampleLoading loading, int cores)
{
    silenceLog();
    std::unique_ptr<Synth> s(new Synth);
    s->sampleRate_ = sampleRate;
    s->settings_ = new_fluid_settings();
    if (!s->settings_) {
        const std::string why = fluidsynthLibrary().why();
        error = "The MIDI synthesizer could not be set up" + (why.empty() ? std::string(".") : " (" + why + ").");
        return nullptr;
    }
    configure(s->settings_, sampleRate, loading, cores);
    s->synth_ = new_fluid_synth(s->settings_);
    if (!s->synth_) {
        error = "The MIDI synthesizer could not be started.";
        return nullptr;
    }
    if (fluid_synth_sfload(s->synth_, soundfont.c_str(), 1) == FLUID_FAILED) {
        error = "The soundfont " + soundfont + " could not be loaded.";
        return nullptr;
    }
    if (loading == SampleLoading::OnDemand && !s->createHolder()) {
        error = "The MIDI synthesizer could not be started.";
        return nullptr;
    }
    return s;
}

bool Synth::createHolder()
{
    holderSettings_ = new_fluid_settings();
    if (!holderSettings_)
        return false;
    fluid_settings_setint(holderSettings_, "synth.midi-channels", 2 * kHeldPrograms);
    fluid_settings_setint(holderSettings_, "synth.polyphony", 1);
    fluid_settings_setint(holderSettings_, "synth.reverb.active", 0);
    fluid_settings_setint(holderSettings_, "synth.chorus.active", 0);
    fluid_settings_setint(holderSettings_, "synth.threadsafe-api", 0);
    holder_ = new_fluid_synth(holderSettings_);
    if (!holder_ || fluid_synth_add_sfont(holder_, fluid_synth_get_sfont(synth_, 0)) == FLUID_FAILED)
        return false;
    holdPrograms({});
    return true;
}

void Synth::holdPrograms(std::span<const ProgramChoice> choices)
{
    if (!holder_)
        return;
    // The new programs are selected before the old ones are let go, so that
    // what both want stays in memory.
    const int taking = holdingUpper_ ? 0 : kHeldPrograms;
    const int leaving = kHeldPrograms - taking;
    int ch = taking;
    for (const ProgramChoice& c : choices.first(std::min<size_t>(choices.size(), kHeldPrograms))) {
        fluid_synth_set_channel_type(holder_, ch, c.drums ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
        fluid_synth_cc(holder_, ch, 0, c.bankMsb);
        fluid_synth_cc(holder_, ch, 32, c.bankLsb);
        fluid_synth_program_change(holder_, ch, c.program);
        ++ch;
    }
    for (; ch < taking + kHeldPrograms; ++ch)
        fluid_synth_unset_program(holder_, ch);
    for (ch = leaving; ch < leaving + kHeldPrograms; ++ch)
        fluid_synth_unset_program(holder_, ch);
    holdingUpper_ = !holdingUpper_;
}

void Synth::releaseSamples()
{
    if (!released_.empty())
        return;
    const int channels = fluid_synth_count_midi_channels(synth_);
    released_.resize(size_t(channels));
    for (int ch = 0; ch < channels; ++ch) {
        Selection& was = released_[size_t(ch)];
        if (fluid_synth_get_program(synth_, ch, &was.soundfont, &was.bank, &was.program) != FLUID_OK)
            was.soundfont = -1;
        fluid_synth_unset_program(synth_, ch);
    }
    if (holder_) {
        for (int ch = 0; ch < 2 * kHeldPrograms; ++ch)
            fluid_synth_unset_program(holder_, ch);
    }
}

void Synth::restoreSamples()
{
    for (size_t ch = 0; ch < released_.size(); ++ch) {
        const Selection& was = released_[ch];
        if (was.soundfont >= 0)
            fluid_synth_program_select(synth_, int(ch), was.soundfont, was.bank, was.program);
    }
    released_.clear();
}

bool Synth::voiceless() const
{
    return fluid_synth_get_active_voice_count(synth_) == 0;
}

Synth::~Synth()
{
    if (holder_) {
        // The soundfont is the main synthesizer's to delete.
        if (fluid_sfont_t* shared = fluid_synth_get_sfont(holder_, 0))
            fluid_synth_remove_sfont(holder_, shared);
        delete_fluid_synth(holder_);
    }
    if (holderSettings_)
        delete_fluid_settings(holderSettings_);
    if (synth_)
        delete_fluid_synth(synth_);
    if (settings_)
        delete_fluid_settings(settings_);
}

void Synth::apply(std::span<const uint8_t> m)
{
    if (m.empty())
        return;
    const uint8_t status = m[0];
    if (status == 0xF0 || (pendingOpen_ && (status < 0x80 || status == 0xF7))) {
        if (status == 0xF0) {
            pendingOpen_ = true;
            pendingSize_ = 0;
        }
        if (pendingSize_ + m.size() > pending_.size()) {
            pendingOpen_ = false;
            return;
        }
        std::memcpy(pending_.data() + pendingSize_, m.data(), m.size());
        pendingSize_ += m.size();
        if (m.back() == 0xF7) {
            pendingOpen_ = false;
            sysex({pending_.data(), pendingSize_});
        }
        return;
    }
    if (status < 0x80 || status >= 0xF0 || m.size() < static_cast<size_t>(1 + channelDataBytes(status)))
        return;
    const int ch = status & 0x0F;
    const int d1 = m[1] & 0x7F;
    const int d2 = m.size() > 2 ? m[2] & 0x7F : 0;
    switch (status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth_, ch, d1); break;
    case 0x90: d2 ? fluid_synth_noteon(synth_, ch, d1, d2) : fluid_synth_noteoff(synth_, ch, d1); break;
    case 0xA0: fluid_synth_key_pressure(synth_, ch, d1, d2); break;
    case 0xB0: fluid_synth_cc(synth_, ch, d1, d2); break;
    case 0xC0: fluid_synth_program_change(synth_, ch, d1); break;
    case 0xD0: fluid_synth_channel_pressure(synth_, ch, d1); break;
    case 0xE0: fluid_synth_pitch_bend(synth_, ch, d1 | d2 << 7); break;
    default: break;
    }
}

void Synth::sysex(std::span<const uint8_t> packet)
{
    // FluidSynth wants the bytes between F0 and F7.
    if (packet.size() < 3 || packet.front() != 0xF0 || packet.back() != 0xF7)
        return;
    fluid_synth_sysex(synth_, reinterpret_cast<const char*>(packet.data() + 1), static_cast<int>(packet.size() - 2),
                      nullptr, nullptr, nullptr, 0);
}

void Synth::render(float* out, int frames)
{
    fluid_synth_write_float(synth_, frames, out, 0, 2, out, 1, 2);
}

} // namespace midi
