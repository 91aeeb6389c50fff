#pragma once
// Where a device's window goes beside the program's windows: worked out from
// rectangles alone, so that it is the same with or without a screen.
#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

namespace mci {

struct PlacementScene {
    QRect area; // the screen, less its panels
    std::vector<QRect> windows; // the program's windows, frames included
    std::vector<QRect> keepVisible; // what the user works them with
};

// The top left corner of a window of OUTER size (its frame included): beside
// the windows, on a side of them or at a corner of theirs or of the screen.
// Covering nothing to keep visible comes first, then covering least of the
// windows; with no window, the middle of the screen.
QPoint placeBeside(const PlacementScene& scene, QSize outer);

} // namespace mci
