#include "platform/mci/device_window.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <array>

namespace mci {

// The user works the player from its main window: a device's window goes
// where it hides least of it.
void placeBesideOtherWindows(QWidget& window)
{
    QRect others;
    QMargins frame;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == &window || !w->isVisible() || w->property(kDeviceWindowProperty).toBool()
            || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
            continue;
        if (others.isNull()) {
            const QRect outer = w->frameGeometry(), inner = w->geometry();
            frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                outer.bottom() - inner.bottom());
        }
        others |= w->frameGeometry();
    }
    const QScreen* screen = others.isNull() ? nullptr : QGuiApplication::screenAt(others.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize outer = window.size().grownBy(frame);
    const auto onScreen = [&](QPoint corner) {
        return QPoint(std::clamp(corner.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
            std::clamp(corner.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    };
    QPoint chosen = onScreen(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
    if (!others.isNull()) {
        constexpr int kGap = 8;
        const std::array<QPoint, 4> sides = {
            QPoint(others.right() + 1 + kGap, others.top()),
            QPoint(others.left() - kGap - outer.width(), others.top()),
            QPoint(others.left(), others.bottom() + 1 + kGap),
            QPoint(others.left(), others.top() - kGap - outer.height()),
        };
        qint64 leastCovered = -1;
        for (const QPoint& side : sides) {
            const QPoint corner = onScreen(side);
            const QRect covered = QRect(corner, outer).intersected(others);
            const qint64 pixels = covered.isEmpty() ? 0 : qint64(covered.width()) * covered.height();
            if (leastCovered < 0 || pixels < leastCovered) {
                leastCovered = pixels;
                chosen = corner;
            }
        }
    }
    window.move(chosen); // a window's position is its frame's
}

} // namespace mci
