#pragma once
// Properties by which a device's own window and the program's windows tell
// each other apart, without either knowing the other.
#include <QSize>

class QWidget;

namespace mci {

// A window that a media device shows of its own accord carries this property.
// It is none of the program's forms: turning to it and back, or closing it,
// is not the user turning to another form of the program.
inline constexpr char kDeviceWindowProperty[] = "mciDeviceWindow";

// A part of one of the program's windows that the user works the device with
// (its buttons, its position) carries this property: a device's window is
// placed to leave it in view wherever it can.
inline constexpr char kKeepVisibleProperty[] = "mciKeepVisible";

// Makes WINDOW a device's own. The player is worked from its main window: a
// device's window neither ends the program when closed last nor, unless it
// TAKES_KEYBOARD, takes the keyboard from the main window when it comes.
void makeDeviceWindow(QWidget& window, bool takesKeyboard);

// Fills the screen with WINDOW, over the rest, with the keyboard: there is
// no other window to go to for Escape.
void showOverWholeScreen(QWidget& window);

// Moves WINDOW, not yet shown, beside the program's other windows, where it
// leaves what they mark to keep visible in view and covers least of them
// (nothing, given room); with no other window, to the middle of the screen.
// Given a SMALLEST size, WINDOW takes the WANTED one, or a smaller one of its
// shape, down to SMALLEST, where WANTED would not fit the screen or would hide
// what is to be kept visible; without, it keeps its size.
void placeBesideOtherWindows(QWidget& window, QSize wanted = {}, QSize smallest = {});

} // namespace mci
