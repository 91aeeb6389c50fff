#pragma once
// Where a device's window goes beside the program's windows: worked out from
// rectangles alone, so that it is the same with or without a screen.
#include <QMargins>
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

// The size, frame excluded, of a window that would be WANTED but may be made
// smaller, keeping its shape: WANTED where it fits the area with FRAME and
// has a place beside the windows that covers nothing to keep visible; else
// the largest size that does both, down to SMALLEST. Where not even that has
// such a place, SMALLEST (less where the area is smaller): it covers what it
// must, and as little as it can.
QSize shrinkToStayClear(const PlacementScene& scene, QSize wanted, QSize smallest, QMargins frame);

} // namespace mci
