#pragma once
// The applications the desktop registers for a file's type, as glib's gio
// tool (Debian's libglib2.0-bin, glib 2.72 or later for "gio launch") or
// else xdg-utils' xdg-mime tell them, for editing a file with one that is
// not a given desktop entry.
#include <string>
#include <vector>

namespace shell {

// Opens DOCUMENTS with the first application the desktop has for the first
// document's type, the type's default first, that edits and is not the
// desktop entry EXCLUDED ("name.desktop"). An application edits when its
// desktop entry's Categories contain AudioVideoEditing (sound and video
// editors) or Sequencer (MIDI editors); the type's default edits as well
// unless its Categories make it an audio or video application (AudioVideo,
// Audio, Video, Player, TV, Recorder), that is a player. When none is left
// the reason goes to standard error and the result is ErrNoAssociation;
// ErrFileNotFound when there is nothing to open or neither gio nor xdg-mime
// is installed.
int openWithEditorOtherThan(
    const std::string& excluded, const std::vector<std::string>& documents, const std::string& directory);

} // namespace shell
