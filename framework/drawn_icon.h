#pragma once
// Pictures the program draws itself, as icons that stay sharp on a scaled
// screen: each pixmap is painted at the pixel ratio of the screen it is shown
// on (1.25, 1.5, 2...) rather than enlarged from one painted for 1, and is
// painted again when the window moves to a screen of another ratio.
#include <QIcon>
#include <QSize>
#include <QString>

#include <functional>

class QPainter;

namespace ui {

// Paints the picture on PAINTER in the coordinates of its logical size.
// SCALE is how many device pixels one of them covers: pixel art drawn with
// aliased one-pixel lines needs other settings once that is not 1.
using Drawing = std::function<void(QPainter& painter, qreal scale)>;

// An icon of logical SIZE painted by DRAW; KEY names the picture among the
// cached pixmaps. At a ratio of 1 its pixmap is exactly what DRAW paints on a
// transparent pixmap of SIZE, and the other modes (disabled, selected) come
// from the style, as they would for an icon made of that pixmap. A widget
// showing it should ask for SIZE: a larger request is drawn larger.
QIcon drawnIcon(const QString& key, QSize size, Drawing draw);

} // namespace ui
