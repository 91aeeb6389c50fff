#include "platform/mci/device_window.h"

#include "platform/mci/placement.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace mci {

// The user works the player from its main window: a device's window goes
// beside it, where it leaves the controls the window marks in view and hides
// least of it.
void placeBesideOtherWindows(QWidget& window)
{
    PlacementScene scene;
    QMargins frame;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == &window || !w->isVisible() || w->property(kDeviceWindowProperty).toBool()
            || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
            continue;
        if (scene.windows.empty()) {
            const QRect outer = w->frameGeometry(), inner = w->geometry();
            frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                outer.bottom() - inner.bottom());
        }
        scene.windows.push_back(w->frameGeometry());
        for (QWidget* part : w->findChildren<QWidget*>())
            if (part->isVisible() && part->property(kKeepVisibleProperty).toBool())
                scene.keepVisible.emplace_back(part->mapToGlobal(QPoint(0, 0)), part->size());
    }
    QRect others;
    for (const QRect& r : scene.windows)
        others |= r;
    const QScreen* screen = others.isNull() ? nullptr : QGuiApplication::screenAt(others.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    scene.area = screen->availableGeometry();
    window.move(placeBeside(scene, window.size().grownBy(frame))); // a window's position is its frame's
}

} // namespace mci
