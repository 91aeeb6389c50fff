#include "platform/mci/placement.h"

#include <gtest/gtest.h>

using mci::placeBeside;
using mci::PlacementScene;

namespace {

qint64 pixels(const QRect& r)
{
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

} // namespace

// A main window in the middle of the screen and a video at double size: no
// side of it has room, so the picture covers some of it, but never its buttons
// and position, and no more than a corner of the screen has to.
TEST(Placement, AVideoTooLargeForAnySideLeavesTheControlsInView)
{
    PlacementScene scene;
    scene.area = QRect(0, 0, 1280, 1024);
    const QRect main(399, 373, 483, 277);
    const QPoint client = main.topLeft() + QPoint(1, 22);
    scene.windows = {main};
    scene.keepVisible = {
        QRect(client + QPoint(8, 0), QSize(141, 33)), // buttons
        QRect(client + QPoint(8, 32), QSize(145, 17)), // position
        QRect(client + QPoint(160, 8), QSize(65, 21)), // read-outs
        QRect(client + QPoint(160, 32), QSize(65, 21)),
    };
    const QSize outer(642, 503);
    const QRect video(placeBeside(scene, outer), outer);
    EXPECT_TRUE(scene.area.contains(video)) << video.x() << "," << video.y();
    for (const QRect& control : scene.keepVisible)
        EXPECT_FALSE(video.intersects(control)) << "video at " << video.x() << "," << video.y();
    // At a corner of the screen it hides a corner of the window, not a strip.
    EXPECT_LT(pixels(video.intersected(main)), pixels(main) / 3) << "video at " << video.x() << "," << video.y();
}

// Wherever it goes the video covers the controls: it goes where it covers
// least of them, though other places cover no more of the window.
TEST(Placement, WhereEveryPlaceCoversTheControlsTheLeastIsChosen)
{
    PlacementScene scene;
    scene.area = QRect(0, 0, 1000, 800);
    scene.windows = {QRect(250, 200, 500, 300)};
    const QRect controls(600, 210, 141, 50);
    scene.keepVisible = {controls};
    const QSize outer(700, 700);
    const QRect video(placeBeside(scene, outer), outer);
    EXPECT_TRUE(scene.area.contains(video));
    EXPECT_EQ(video.x(), 0);
    EXPECT_EQ(pixels(video.intersected(controls)), 100 * 50);
}
