#include "platform/mci/placement.h"

#include <gtest/gtest.h>

#include <cstdlib>

using mci::placeBeside;
using mci::PlacementScene;
using mci::shrinkToStayClear;

namespace {

qint64 pixels(const QRect& r)
{
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

// The player's main window in the middle of a screen, with its buttons,
// position and read-outs.
PlacementScene centredPlayer(QRect area = QRect(0, 0, 1280, 1024))
{
    PlacementScene scene;
    scene.area = area;
    const QRect main = QRect(399, 373, 483, 277).translated(area.center() - QRect(0, 0, 1280, 1024).center());
    const QPoint client = main.topLeft() + QPoint(1, 22);
    scene.windows = {main};
    scene.keepVisible = {
        QRect(client + QPoint(8, 0), QSize(141, 33)), // buttons
        QRect(client + QPoint(8, 32), QSize(145, 17)), // position
        QRect(client + QPoint(160, 8), QSize(65, 21)), // read-outs
        QRect(client + QPoint(160, 32), QSize(65, 21)),
    };
    return scene;
}

const QMargins kFrame(1, 22, 1, 1);

} // namespace

// A main window in the middle of the screen and a video at double size: no
// side of it has room, so the picture covers some of it, but never its buttons
// and position, and no more than a corner of the screen has to.
TEST(Placement, AVideoTooLargeForAnySideLeavesTheControlsInView)
{
    const PlacementScene scene = centredPlayer();
    const QRect main = scene.windows.front();
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

// The place that hides least of the window, the screen's top right corner,
// hides a corner of the read-outs: the one below it, hiding more of the
// window, leaves them in view.
TEST(Placement, LeavingTheControlsInViewComesBeforeHidingLeastOfTheWindow)
{
    PlacementScene scene;
    scene.area = QRect(0, 0, 1000, 800);
    const QRect main(210, 270, 483, 277);
    scene.windows = {main};
    const QRect readOuts(428, 292, 140, 40);
    scene.keepVisible = {readOuts};
    const QSize outer(450, 400);
    const QRect leastOfTheWindow(QPoint(550, 0), outer);
    ASSERT_TRUE(leastOfTheWindow.intersects(readOuts));
    ASSERT_LT(pixels(leastOfTheWindow.intersected(main)), pixels(QRect(QPoint(550, 400), outer).intersected(main)));
    const QRect video(placeBeside(scene, outer), outer);
    EXPECT_TRUE(scene.area.contains(video));
    EXPECT_FALSE(video.intersects(readOuts)) << "video at " << video.x() << "," << video.y();
}

// A 640x480 video at double size on a 1280x1024 screen, the player in the
// middle: it would cover the whole player. Smaller, keeping its shape, it
// fits the screen below the controls; a video with room keeps its size.
TEST(Placement, ADoubleSizeVideoShrinksToLeaveTheControlsInView)
{
    const PlacementScene scene = centredPlayer();
    const QSize size = shrinkToStayClear(scene, QSize(1280, 960), QSize(320, 240), kFrame);
    const QSize outer = size.grownBy(kFrame);
    const QRect video(placeBeside(scene, outer), outer);
    EXPECT_TRUE(scene.area.contains(video)) << size.width() << "x" << size.height();
    for (const QRect& control : scene.keepVisible)
        EXPECT_FALSE(video.intersects(control)) << "video at " << video.x() << "," << video.y();
    EXPECT_LE(std::abs(size.width() * 3 - size.height() * 4), 4) << size.width() << "x" << size.height();
    EXPECT_GT(size.width(), 640) << "shrunk further than the room below the controls asks";

    EXPECT_EQ(shrinkToStayClear(scene, QSize(400, 300), QSize(200, 150), kFrame), QSize(400, 300));
}

// Doubled, a video larger than the screen, wide on a large one or tall on a
// common one: it comes inside the screen with its shape, the controls in view.
TEST(Placement, ADoubleSizeVideoLargerThanTheScreenKeepsItsShapeInside)
{
    for (const auto& [area, video] : {std::pair {QRect(0, 0, 7680, 4320), QSize(4096, 2304)},
             std::pair {QRect(0, 0, 1920, 1080), QSize(1440, 1080)}}) {
        const PlacementScene scene = centredPlayer(area);
        const QSize size = shrinkToStayClear(scene, video * 2, video / 2, kFrame);
        const QSize outer = size.grownBy(kFrame);
        const QRect placed(placeBeside(scene, outer), outer);
        EXPECT_TRUE(area.contains(placed)) << area.width() << ": " << size.width() << "x" << size.height();
        for (const QRect& control : scene.keepVisible)
            EXPECT_FALSE(placed.intersects(control)) << area.width() << ": at " << placed.x() << "," << placed.y();
        // The height within a pixel of the width's.
        EXPECT_LE(
            std::abs(qint64(size.width()) * video.height() - qint64(size.height()) * video.width()), video.width())
            << size.width() << "x" << size.height();
        EXPECT_GE(size.width(), video.width() / 2);
    }
}
