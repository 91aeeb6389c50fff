// FluidSynth, loaded when the synthesizer is first made: it brings the sound
// servers, GLib and its instrument library along.
#include "platform/midi/synth.h"

#include "platform/base/lazy_library.h"

#include <fluidsynth.h>

static constinit lazy_library::Library fluidsynth("libfluidsynth.so.3");

lazy_library::Library& midi::fluidsynthLibrary() { return fluidsynth; }

#define FORWARD(failure, ret, name, params, args) \
    QUORVANA_FORWARD(fluidsynth, failure, ret, name, params, args)

FORWARD(nullptr, fluid_settings_t*, new_fluid_settings, (void), ())
FORWARD(, void, delete_fluid_settings, (fluid_settings_t * s), (s))
FORWARD(FLUID_FAILED, int, fluid_settings_setint, (fluid_settings_t * s, const char* name, int val), (s, name, val))
FORWARD(FLUID_FAILED, int, fluid_settings_setnum, (fluid_settings_t * s, const char* name, double val),
        (s, name, val))
FORWARD(nullptr, fluid_log_function_t, fluid_set_log_function, (int level, fluid_log_function_t fun, void* data),
        (level, fun, data))
FORWARD(nullptr, fluid_synth_t*, new_fluid_synth, (fluid_settings_t * s), (s))
FORWARD(, void, delete_fluid_synth, (fluid_synth_t * s), (s))
FORWARD(FLUID_FAILED, int, fluid_synth_sfload, (fluid_synth_t * s, const char* filename, int reset),
        (s, filename, reset))
FORWARD(nullptr, fluid_sfont_t*, fluid_synth_get_sfont, (fluid_synth_t * s, unsigned int num), (s, num))
FORWARD(FLUID_FAILED, int, fluid_synth_add_sfont, (fluid_synth_t * s, fluid_sfont_t* sfont), (s, sfont))
FORWARD(FLUID_FAILED, int, fluid_synth_remove_sfont, (fluid_synth_t * s, fluid_sfont_t* sfont), (s, sfont))
FORWARD(FLUID_FAILED, int, fluid_synth_noteon, (fluid_synth_t * s, int chan, int key, int vel), (s, chan, key, vel))
FORWARD(FLUID_FAILED, int, fluid_synth_noteoff, (fluid_synth_t * s, int chan, int key), (s, chan, key))
FORWARD(FLUID_FAILED, int, fluid_synth_cc, (fluid_synth_t * s, int chan, int ctrl, int val), (s, chan, ctrl, val))
FORWARD(FLUID_FAILED, int, fluid_synth_key_pressure, (fluid_synth_t * s, int chan, int key, int val),
        (s, chan, key, val))
FORWARD(FLUID_FAILED, int, fluid_synth_channel_pressure, (fluid_synth_t * s, int chan, int val), (s, chan, val))
FORWARD(FLUID_FAILED, int, fluid_synth_pitch_bend, (fluid_synth_t * s, int chan, int val), (s, chan, val))
FORWARD(FLUID_FAILED, int, fluid_synth_program_change, (fluid_synth_t * s, int chan, int program), (s, chan, program))
FORWARD(FLUID_FAILED, int, fluid_synth_program_select,
        (fluid_synth_t * s, int chan, int sfont_id, int bank_num, int preset_num),
        (s, chan, sfont_id, bank_num, preset_num))
FORWARD(FLUID_FAILED, int, fluid_synth_get_program,
        (fluid_synth_t * s, int chan, int* sfont_id, int* bank_num, int* preset_num),
        (s, chan, sfont_id, bank_num, preset_num))
FORWARD(FLUID_FAILED, int, fluid_synth_unset_program, (fluid_synth_t * s, int chan), (s, chan))
FORWARD(FLUID_FAILED, int, fluid_synth_set_channel_type, (fluid_synth_t * s, int chan, int type), (s, chan, type))
FORWARD(0, int, fluid_synth_count_midi_channels, (fluid_synth_t * s), (s))
FORWARD(0, int, fluid_synth_get_active_voice_count, (fluid_synth_t * s), (s))
FORWARD(FLUID_FAILED, int, fluid_synth_sysex,
        (fluid_synth_t * s, const char* data, int len, char* response, int* response_len, int* handled, int dryrun),
        (s, data, len, response, response_len, handled, dryrun))
FORWARD(FLUID_FAILED, int, fluid_synth_write_float,
        (fluid_synth_t * s, int len, void* lout, int loff, int lincr, void* rout, int roff, int rincr),
        (s, len, lout, loff, lincr, rout, roff, rincr))
