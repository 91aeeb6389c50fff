#include "platform/mci/placement.h"

#include <algorithm>
#include <array>
#include <tuple>

namespace mci {

namespace {

constexpr int kGap = 8;

qint64 coveredPixels(const QRect& window, const std::vector<QRect>& rects)
{
    qint64 pixels = 0;
    for (const QRect& r : rects) {
        const QRect covered = window.intersected(r);
        if (!covered.isEmpty())
            pixels += qint64(covered.width()) * covered.height();
    }
    return pixels;
}

struct Place {
    QPoint corner;
    qint64 controlsCovered = -1;
    qint64 windowsCovered = -1;
};

// CORNER moved as little as needed for a window of OUTER size to lie on AREA.
QPoint keepOnScreen(const QRect& area, QSize outer, QPoint corner)
{
    return QPoint(std::clamp(corner.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
        std::clamp(corner.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
}

// Beside OTHERS, at their corners, then at the corners of AREA.
std::array<QPoint, 16> candidates(const QRect& area, const QRect& others, QSize outer)
{
    const int right = others.right() + 1 + kGap;
    const int left = others.left() - kGap - outer.width();
    const int below = others.bottom() + 1 + kGap;
    const int above = others.top() - kGap - outer.height();
    const int alignTop = others.top();
    const int alignBottom = others.bottom() + 1 - outer.height();
    const int alignLeft = others.left();
    const int alignRight = others.right() + 1 - outer.width();
    const int screenRight = area.right() + 1 - outer.width();
    const int screenBottom = area.bottom() + 1 - outer.height();
    // In order of preference, where they cover alike.
    return {
        QPoint(right, alignTop),
        QPoint(left, alignTop),
        QPoint(alignLeft, below),
        QPoint(alignLeft, above),
        QPoint(right, alignBottom),
        QPoint(left, alignBottom),
        QPoint(alignRight, below),
        QPoint(alignRight, above),
        QPoint(right, below),
        QPoint(left, below),
        QPoint(right, above),
        QPoint(left, above),
        QPoint(screenRight, area.top()),
        QPoint(area.left(), area.top()),
        QPoint(screenRight, screenBottom),
        QPoint(area.left(), screenBottom),
    };
}

Place bestPlace(const PlacementScene& scene, QSize outer)
{
    const QRect& area = scene.area;
    QRect others;
    for (const QRect& w : scene.windows)
        others |= w;
    if (others.isNull())
        return {keepOnScreen(area, outer, area.center() - QPoint(outer.width() / 2, outer.height() / 2)), 0, 0};

    Place best;
    for (const QPoint& candidate : candidates(area, others, outer)) {
        const QPoint corner = keepOnScreen(area, outer, candidate);
        const QRect window(corner, outer);
        const Place place {corner, coveredPixels(window, scene.keepVisible), coveredPixels(window, scene.windows)};
        if (best.controlsCovered < 0
            || std::tie(place.controlsCovered, place.windowsCovered)
                < std::tie(best.controlsCovered, best.windowsCovered))
            best = place;
    }
    return best;
}

// WANTED's shape at WIDTH, never narrower or lower than a pixel.
QSize atWidth(QSize wanted, int width)
{
    const qint64 height = (qint64(width) * wanted.height() + wanted.width() / 2) / wanted.width();
    return QSize(std::max(1, width), int(std::max<qint64>(1, height)));
}

} // namespace

QPoint placeBeside(const PlacementScene& scene, QSize outer)
{
    return bestPlace(scene, outer).corner;
}

QSize shrinkToStayClear(const PlacementScene& scene, QSize wanted, QSize smallest, QMargins frame)
{
    if (wanted.isEmpty())
        return wanted;
    // A window larger than the area could never be clear of anything there.
    const QSize room = scene.area.size().shrunkBy(frame);
    QSize largest = wanted;
    if (largest.width() > room.width() || largest.height() > room.height())
        largest = wanted.scaled(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const int narrowest = std::min(largest.width(), std::max(1, smallest.width()));
    const auto sized = [&](int width) { return width == largest.width() ? largest : atWidth(wanted, width); };
    const auto clear = [&](int width) { return bestPlace(scene, sized(width).grownBy(frame)).controlsCovered == 0; };
    // At each of its places a wider window lies over the narrower one (its
    // edges only move outwards as it grows), so every width past one that
    // covers the controls covers them too: the widest clear one is found by
    // halving, not by trying each, thousands on a large screen.
    if (clear(largest.width()))
        return largest;
    if (!clear(narrowest))
        return atWidth(wanted, narrowest);
    int coversNot = narrowest, covers = largest.width();
    while (covers - coversNot > 1) {
        const int width = coversNot + (covers - coversNot) / 2;
        (clear(width) ? coversNot : covers) = width;
    }
    return sized(coversNot);
}

} // namespace mci
