#include "platform/midi/synth.h"

#include "platform/midi/messages.h"

#include <fluidsynth.h>

#include <cstring>

namespace midi {

namespace {

// FluidSynth reports through its log; a player has no console to show it on.
void quietLog(int, const char*, void*) {}

} // namespace

std::unique_ptr<Synth> Synth::create(int sampleRate, const std::string& soundfont, std::string& error)
{
    static const bool logSilenced = [] {
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level)
            fluid_set_log_function(level, quietLog, nullptr);
        return true;
    }();
    (void)logSilenced;

    std::unique_ptr<Synth> s(new Synth);
    s->sampleRate_ = sampleRate;
    s->settings_ = new_fluid_settings();
    if (!s->settings_) {
        error = "The MIDI synthesizer could not be set up.";
        return nullptr;
    }
    fluid_settings_setnum(s->settings_, "synth.sample-rate", sampleRate);
    // One thread renders and applies events; FluidSynth's own lock would only
    // make the audio thread wait.
    fluid_settings_setint(s->settings_, "synth.threadsafe-api", 0);
    fluid_settings_setint(s->settings_, "synth.cpu-cores", 1);
    // FluidSynth takes a GS reset only when addressed to device 16.
    fluid_settings_setint(s->settings_, "synth.device-id", 16);
    s->synth_ = new_fluid_synth(s->settings_);
    if (!s->synth_) {
        error = "The MIDI synthesizer could not be started.";
        return nullptr;
    }
    if (fluid_synth_sfload(s->synth_, soundfont.c_str(), 1) == FLUID_FAILED) {
        error = "The soundfont " + soundfont + " could not be loaded.";
        return nullptr;
    }
    return s;
}

Synth::~Synth()
{
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
