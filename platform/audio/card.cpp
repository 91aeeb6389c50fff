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

namespace {

// The length of the UTF-8 character that starts at TEXT[AT]; 0 where none does.
size_t characterAt(const std::string& text, size_t at)
{
    const auto byte = [&](size_t k) { return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0; };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    const size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    // The second byte's range shuts out overlong forms, surrogates and
    // whatever lies past U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (size_t k = 1; k < length; ++k)
        if (byte(k) < (k == 1 ? low : 0x80) || byte(k) > (k == 1 ? high : 0xBF))
            return 0;
    return length;
}

} // namespace

std::string validUtf8(const std::string& text)
{
    std::string valid;
    valid.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = characterAt(text, at);
        if (length == 0) {
            valid += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        valid.append(text, at, length);
        at += length;
    }
    return valid;
}

// Never destroyed: outputs held by other statics may go after it at exit,
// and the card keeps calling back until the process ends.
Card& card()
{
    static Card* c = new Card;
    return *c;
}

} // namespace audio
