#pragma once
// The sound outputs as SDL lists them, kept as the sound server has them
// while the player runs. Internal to the audio layer.
//
// SDL's PulseAudio and PipeWire drivers follow the server's outputs as they
// come and go, but an output that goes only loses its place in the list and
// leaves its name behind until the list is next counted; one plugged in
// again under that name meanwhile is listed as "NAME (2)", and NAME no
// longer opens. SDL tells of both (SDL_AUDIODEVICEREMOVED and ADDED, from
// 2.24 on also for outputs that are not open) on its own thread, so the list
// is counted, and the leftover dropped, the moment an output goes. A rename
// SDL does not follow at all: only a fresh start of SDL's sound lists it
// (the card's relist()).
#include <SDL.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace audio {

class OutputList {
public:
    // From now until SDL's sound stops: ADDED runs on SDL's thread whenever
    // an output appears, and must neither block nor call SDL. Again after
    // every start of SDL's sound, which forgets it.
    void follow(std::function<void()> added);

    // The outputs' names, as they open.
    std::vector<std::string> names();
    // The name SDL opens the output the user chose as NAME by: NAME, or,
    // where SDL kept NAME for the output that went and lists the one
    // plugged in again as "NAME (2)", that one; empty while none is listed.
    // Empty for empty: the system's default.
    std::string sdlName(const std::string& name);
    bool listed(const std::string& name) { return !sdlName(name).empty(); }

private:
    static int SDLCALL filter(void* self, SDL_Event* event);
    void dropLeftovers();

    std::function<void()> added_;
    // Held while names are read: SDL frees a gone output's name when the
    // list is counted, which SDL's thread does only while it holds this.
    std::mutex reading_;
    std::atomic<bool> leftovers_ {false}; // an output went while names were read
};

} // namespace audio
