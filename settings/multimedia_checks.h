#pragma once
// What the Multimedia Properties check before they store a choice, apart
// from the panel that shows them: the sound output opens, the soundfont
// loads, the MIDI port is there. Each says why not, for the user.
#include "platform/midi/ports.h"
#include "platform/multimedia/choices.h"

#include <optional>
#include <string>
#include <vector>

namespace multimedia_checks {

// The sequencer's writable ports now; REASON says why there are none.
struct PortScan {
    bool sequencerAvailable = false;
    std::vector<midi::Port> ports;
    std::string reason;
};
PortScan scanPorts();

// Each is nullopt when SHOWN can be used (or is STORED, which was checked
// when it was stored), else the reason it cannot.
std::optional<std::string> soundOutputProblem(const multimedia::Choices& shown, const multimedia::Choices& stored);
// Loads the soundfont whole: the only way to know that it loads.
std::optional<std::string> soundfontProblem(const multimedia::Choices& shown, const multimedia::Choices& stored);
std::optional<std::string> portProblem(const multimedia::Choices& shown, const std::vector<midi::Port>& ports);

// Whether SHOWN names the same external synthesizer as STORED.
bool samePort(const multimedia::Choices& shown, const multimedia::Choices& stored);

} // namespace multimedia_checks
