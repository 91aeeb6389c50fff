#pragma once
// How the main window's controls look: their fonts, colours and the
// loudspeaker's picture.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QWidget>

namespace window_look {

inline const QColor kYellow(255, 255, 0);

QFont boldFont(int pixels = 11, const char* family = "MS Sans Serif");

// BASE behind the text, TEXT for it, filled in by the widget itself.
void setColours(QWidget* w, const QColor& base, const QColor& text);

// The loudspeaker on the multimedia settings button.
QIcon speakerIcon();

} // namespace window_look
