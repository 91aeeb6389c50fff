#pragma once
// A window that a media device shows of its own accord carries this property.
// It is none of the program's forms: turning to it and back, or closing it,
// is not the user turning to another form of the program.
class QWidget;

namespace mci {

inline constexpr char kDeviceWindowProperty[] = "mciDeviceWindow";

// Moves WINDOW, not yet shown, beside the program's other windows, to the
// right, left, below or above, wherever it covers least of them (nothing,
// given room); with no other window, to the middle of the screen.
void placeBesideOtherWindows(QWidget& window);

} // namespace mci
