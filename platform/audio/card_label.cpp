// What the sound server is told of the card's streams: the application's
// name, and each stream's name and role.
#include "platform/audio/card.h"

#include <cstdlib>

namespace audio {

namespace {

constexpr const char* kRoleNames[] = {"music", "video"}; // by Role
constexpr const char* kPulseRole = "PULSE_PROP_media.role";

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

// Empty: SDL's own. A sound server may refuse a stream whose texts are not
// UTF-8, and file names need not be.
void Card::setHint(const char* name, const std::string& value)
{
    SDL_SetHint(name, value.empty() ? nullptr : validUtf8(value).c_str());
}

// SDL passes the hints on to the sound server only as a device opens. Its
// PulseAudio driver passes no role of its own: the server gives a stream the
// role of its connection, which libpulse reads from the environment as it
// connects, and SDL connects anew for every device.
void Card::setHints(const StreamLabel& label, const std::string& applicationName)
{
    const char* role = kRoleNames[static_cast<int>(label.role)];
    setenv(kPulseRole, role, 1);
    setHint(SDL_HINT_APP_NAME, applicationName);
    setHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, label.name);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, role);
}

} // namespace audio
