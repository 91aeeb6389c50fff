#pragma once
// What the player knows about each kind of media file it plays: one row per
// extension, one column per rule that differs between kinds. The browser's
// mask, the accepted drops, the device type, the pause after songs, the
// editor and the association dialog all read this table.
#include "platform/mci/mci.h"

#include <QString>

#include <span>

namespace media_kinds {

// Which of the three editors of the settings file edits the kind.
enum class Editor { Midi, Wave, Video };

// Which check box of the association dialog registers the kind; None is
// never registered.
enum class AssociationBox { None, Midi, Rmid, Wave, Video };

struct Kind {
    const char* extension;       // with its dot, lower case
    bool listed = true; // the browser shows it; others play only when named or dropped
    // The device the media-player control's auto-select opens it on;
    // AutoSelect: none does, as for the two wave-only kinds.
    mci::DeviceType autoSelect = mci::DeviceType::AutoSelect;
    bool waveOnly = false;       // plays on the wave-audio device whatever its content says
    bool pauseAfter = false;     // auto-advance rests 1.5 s after it, so a song's reverb dies away
    Editor editor = Editor::Wave;
    AssociationBox box = AssociationBox::None;
    const char* mimeType = "";   // what the desktop calls it
    // Set for a type of the player's own, which the desktop learns from us.
    const char* mimeParent = "";
    const char* mimeComment = "";
};

// The browser's kinds in the order of its mask, then the others.
std::span<const Kind> all();

// The kind of PATH by its extension (from the last "." of the name part,
// any ASCII case); null for a file the player does not play.
const Kind* kindOf(const QString& path);

// The kind of an extension given alone (".MID", ".wa~"); null for others.
const Kind* kindOfExtension(const QString& extension);

// The device type the player asks for a file of KIND: the wave-only kinds
// on wave audio whatever their content says, every other file auto-selected.
mci::DeviceType askedDevice(const Kind* kind);

// The device TYPE means for PATH: auto-select goes by the file's kind and
// stays AutoSelect for a file the player does not play.
mci::DeviceType resolvedDevice(mci::DeviceType type, const QString& path);

// "*.mid;*.rmi;..." for the file list.
QString browserMask();

} // namespace media_kinds
