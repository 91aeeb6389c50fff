#include "platform/audio/card.h"

namespace audio {

// Guards the card's device and its slots: opening a stream may move the card
// to another device while other threads pause or drop theirs. Never destroyed,
// like the card.
std::mutex& cardMutex()
{
    static auto* m = new std::mutex;
    return *m;
}

// Never destroyed: outputs held by other statics may go after it at exit,
// and the card keeps calling back until the process ends.
Card& card()
{
    static Card* c = new Card;
    return *c;
}

} // namespace audio
