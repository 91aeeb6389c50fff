#pragma once
// A short phrase that lets a user hear that an output works: piano, a
// rising C major arpeggio and its chord, on channel 1, about two seconds.
#include "platform/midi/output.h"
#include "platform/midi/smf.h"

#include <memory>

namespace midi {

class Player;

std::shared_ptr<const Song> samplePhrase();

// Starts the phrase on OUTPUT; it stops when the player goes.
std::shared_ptr<Player> playSamplePhrase(std::shared_ptr<Output> output);

} // namespace midi
