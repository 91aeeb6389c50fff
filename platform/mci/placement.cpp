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

} // namespace

QPoint placeBeside(const PlacementScene& scene, QSize outer)
{
    const QRect& area = scene.area;
    const auto onScreen = [&](QPoint corner) {
        return QPoint(std::clamp(corner.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
            std::clamp(corner.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    };
    QRect others;
    for (const QRect& w : scene.windows)
        others |= w;
    if (others.isNull())
        return onScreen(area.center() - QPoint(outer.width() / 2, outer.height() / 2));

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
    const std::array<QPoint, 16> candidates = {
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
    QPoint chosen;
    std::tuple<qint64, qint64> least {-1, -1};
    for (const QPoint& candidate : candidates) {
        const QPoint corner = onScreen(candidate);
        const QRect window(corner, outer);
        const std::tuple<qint64, qint64> covers {
            coveredPixels(window, scene.keepVisible), coveredPixels(window, scene.windows)};
        if (std::get<0>(least) < 0 || covers < least) {
            least = covers;
            chosen = corner;
        }
    }
    return chosen;
}

} // namespace mci
