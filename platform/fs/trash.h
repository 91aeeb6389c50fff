#pragma once
// The desktop's trash, as the freedesktop.org rules lay it out and every
// Linux file manager reads it: a file thrown away there can be put back.
#include "platform/fs/file_ops.h"

#include <string>

namespace kernel {

// Moves PATH (not what a link points to) into the trash of its volume: the
// user's own ($XDG_DATA_HOME/Trash) for the volume that holds it, else the
// volume's $topdir/.Trash/$uid or $topdir/.Trash-$uid. Each keeps the entry
// in files/ under a name of its own and how to put it back in info/.
// Nothing is ever copied: where the volume has no trash that takes the
// file, PATH is deleted outright. A failure leaves PATH where it was and
// says why.
Status trashFile(const std::string& path);

} // namespace kernel
