#pragma once
// Soundfonts for the built-in synthesizer: the ones installed on the system
// and in the user's folder, each under the name it gives itself, and the one
// the synthesizer is to use.
#include "platform/multimedia/choices.h"

#include <string>
#include <vector>

namespace midi {

struct SoundfontFile {
    std::string path;
    std::string name; // its own name, else its file name

    bool operator==(const SoundfontFile&) const = default;
};

// Where soundfonts are kept, the system's folders first, then the user's
// ($XDG_DATA_HOME/soundfonts).
std::vector<std::string> soundfontFolders();

// The .sf2 and .sf3 files in FOLDERS and below, folder by folder, each
// folder's in name order. A file reached again through a link is listed once:
// in the first folder it is found in, under its own name where that folder
// holds it, else under the first link to it. SHOWN_APART (the system's
// default, which the list's user offers on its own) is left out however it is
// reached; a file that is no soundfont is left out.
std::vector<SoundfontFile> findSoundfonts(const std::vector<std::string>& folders, const std::string& shownApart = {});

// The name a soundfont file gives itself (its INAM); its file name when it
// gives none; empty when PATH is no soundfont.
std::string soundfontName(const std::string& path);

// The system's General MIDI soundfont below SHARE, as Debian installs one;
// empty when none is installed.
std::string systemSoundfont(const std::string& share = "/usr/share");

// The soundfont the built-in synthesizer uses for CHOICES: the one the
// environment overrides with, else the chosen one, else the system's. Empty
// and ERROR set when it is missing.
std::string findSoundfont(const multimedia::Choices& choices, std::string& error);

} // namespace midi
