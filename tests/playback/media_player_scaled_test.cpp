// The button bar on a screen of pixel ratio 2. A binary of its own: the scale
// is fixed when the application starts (ctest sets QT_SCALE_FACTOR=2).
#include "playback/media_player.h"
#include "playback/playback_session.h"

#include <QApplication>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

// How much of the Play picture's green covers a pixel, over the button's grey.
int greenAt(const QImage& image, int x, int y)
{
    const QColor c = image.pixelColor(x, y);
    return c.green() - std::max(c.red(), c.blue());
}

} // namespace

// A picture enlarged from one drawn for a ratio of 1 would blur its straight
// edges (smoothly scaled) or step its slanted ones in blocks of two pixels
// (scaled by repetition); drawn for the ratio, it does neither.
TEST(MediaPlayerScaled, ButtonPicturesAreDrawnForThePixelRatio)
{
    ASSERT_EQ(qApp->devicePixelRatio(), 2.0) << "to be run with QT_SCALE_FACTOR=2";
    PlaybackSession session;
    TMediaPlayer player(session);
    player.resize(141, 33);
    player.show();
    QToolButton* play = player.Button(TMPBtnType::btPlay);
    const QPixmap picture = play->icon().pixmap(play->iconSize(), play->devicePixelRatio());
    EXPECT_EQ(picture.devicePixelRatio(), 2.0);
    EXPECT_EQ(picture.size(), play->iconSize() * 2);

    const QImage shot = play->grab().toImage();
    ASSERT_EQ(shot.devicePixelRatio(), 2.0);
    // The triangle's left edge is upright: the first column holding some of
    // it holds it whole.
    int left = -1, top = shot.height(), bottom = -1;
    for (int x = 0; x < shot.width() && left < 0; ++x)
        for (int y = 0; y < shot.height(); ++y)
            if (greenAt(shot, x, y) > 8) {
                left = x;
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(left, 0) << "no Play picture on the button";
    EXPECT_GE(greenAt(shot, left, (top + bottom) / 2), 120) << "a blurred edge";

    // The slanted edges change within the two pixel rows of one logical row.
    int steps = 0;
    for (int y = top - top % 2; y + 1 < shot.height(); y += 2)
        for (int x = left; x < shot.width(); ++x)
            if (std::abs(greenAt(shot, x, y) - greenAt(shot, x, y + 1)) > 32)
                ++steps;
    EXPECT_GT(steps, 4) << "slanted edges in steps of two pixels";
}
