#include "platform/multimedia/stored_choices.h"

#include "platform/registry/registry.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

using namespace registry;

namespace multimedia {

namespace {

std::optional<std::string> readString(HKEY key, const char* name)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::string text(size, '\0');
    if (size > 0 && RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size)
                        != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(text.find('\0') == std::string::npos ? size : text.find('\0'));
    return text;
}

std::optional<DWORD> readDword(HKEY key, const char* name)
{
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS
        || type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

LONG writeString(HKEY key, const char* name, const std::string& text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
}

LONG writeDword(HKEY key, const char* name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

} // namespace

Choices loadStored()
{
    Choices c;
    HKEY key = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return c;
    c.soundOutput = readString(key, kSoundOutput).value_or("");
    c.midiOutput = readString(key, kMidiOutput).value_or("") == kMidiOutputAlsa ? MidiOutput::External
                                                                              : MidiOutput::Synth;
    c.soundfont = readString(key, kSoundfont).value_or("");
    c.midiClient = readString(key, kMidiClient).value_or("");
    c.midiPort = readString(key, kMidiPort).value_or("");
    c.midiAddress = readString(key, kMidiAddress).value_or("");
    if (const auto ms = readDword(key, kResetSettle); ms && *ms <= kMaxResetSettleMs)
        c.resetSettleMs = *ms;
    if (const auto size = readDword(key, kVideoSize); size && *size <= DWORD(VideoSize::FullScreen))
        c.videoSize = VideoSize(*size);
    if (const auto on = readDword(key, kPlayInRunningPlayer); on && *on <= 1)
        c.playInRunningPlayer = *on == 1;
    if (const auto on = readDword(key, kShowWords); on && *on <= 1)
        c.showWords = *on == 1;
    RegCloseKey(key);
    return c;
}

namespace {

// Writes to KEY the choices of C that differ from BEFORE (all without it);
// gives the first failure, though every write is tried.
LONG writeChanged(HKEY key, const Choices& c, const Choices* before)
{
    LONG code = ERROR_SUCCESS;
    const auto changed = [&](auto member) { return !before || c.*member != before->*member; };
    const auto note = [&](LONG written) {
        if (written != ERROR_SUCCESS && code == ERROR_SUCCESS)
            code = written;
    };
    // The output kind goes last: a player opening a track meanwhile finds
    // the new port or soundfont before it is told to use it.
    if (changed(&Choices::soundOutput))
        note(writeString(key, kSoundOutput, c.soundOutput));
    if (changed(&Choices::soundfont))
        note(writeString(key, kSoundfont, c.soundfont));
    if (changed(&Choices::midiClient))
        note(writeString(key, kMidiClient, c.midiClient));
    if (changed(&Choices::midiPort))
        note(writeString(key, kMidiPort, c.midiPort));
    if (changed(&Choices::midiAddress))
        note(writeString(key, kMidiAddress, c.midiAddress));
    if (changed(&Choices::resetSettleMs))
        note(writeDword(key, kResetSettle, std::min(c.resetSettleMs, kMaxResetSettleMs)));
    if (changed(&Choices::videoSize))
        note(writeDword(key, kVideoSize, DWORD(c.videoSize)));
    if (changed(&Choices::playInRunningPlayer))
        note(writeDword(key, kPlayInRunningPlayer, c.playInRunningPlayer ? 1 : 0));
    if (changed(&Choices::showWords))
        note(writeDword(key, kShowWords, c.showWords ? 1 : 0));
    if (changed(&Choices::midiOutput))
        note(writeString(key, kMidiOutput, c.midiOutput == MidiOutput::External ? kMidiOutputAlsa : kMidiOutputSynth));
    return code;
}

} // namespace

bool save(const Choices& c, std::string& error, const Choices* before)
{
    HKEY key = 0;
    LONG code = RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                                &key, nullptr);
    if (code == ERROR_SUCCESS) {
        code = writeChanged(key, c, before);
        RegCloseKey(key);
    }
    if (code == ERROR_SUCCESS)
        return true;
    error = "The multimedia settings could not be saved in " + storePath() + " (error " + std::to_string(code) + ").";
    return false;
}

std::string loadKept(const char* name)
{
    HKEY key = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    std::string value = readString(key, name).value_or("");
    RegCloseKey(key);
    return value;
}

void saveKept(const char* name, const std::string& value)
{
    HKEY key = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return;
    writeString(key, name, value);
    RegCloseKey(key);
}

Choices load()
{
    Choices c = loadStored();
    c.overrides = overridesInForce();
    return c;
}

Overrides overridesInForce()
{
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    Overrides o;
    o.midiOutput = variable(kMidiOutVariable);
    o.soundfont = variable(kSoundfontVariable);
    if (const std::string text = variable(kResetSettleVariable); !text.empty()) {
        char* end = nullptr;
        const long ms = std::strtol(text.c_str(), &end, 10);
        if (*end == '\0' && ms >= 0 && ms <= long(kMaxResetSettleMs))
            o.resetSettleMs = unsigned(ms);
    }
    return o;
}

std::vector<std::string> variablesInForce()
{
    const Overrides o = overridesInForce();
    std::vector<std::string> set;
    if (!o.midiOutput.empty())
        set.emplace_back(kMidiOutVariable);
    if (!o.soundfont.empty())
        set.emplace_back(kSoundfontVariable);
    if (o.resetSettleMs)
        set.emplace_back(kResetSettleVariable);
    return set;
}

} // namespace multimedia
