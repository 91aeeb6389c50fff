#pragma once
// 24-bit pictures into the window's 32-bit colours, one pass, no allocation.
#include <QImage>

#include <cstdint>

namespace mci::video {

// Writes the RGB24 rows at SRC (STRIDE bytes apart) over TO, a Format_RGB32
// image of the same size.
void rgb24IntoRgb32(const uint8_t* src, int stride, QImage& to);

} // namespace mci::video
