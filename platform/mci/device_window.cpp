#include "platform/mci/device_window.h"

#include "platform/mci/placement.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace mci {

namespace {

// Null until the window manager has framed the window.
QMargins frameOf(const QWidget& w)
{
    const QRect outer = w.frameGeometry(), inner = w.geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
        outer.bottom() - inner.bottom());
}

// Places WINDOW and gives the frame it took it to have: its own once it has
// one, else that of the program's first window.
QMargins place(QWidget& window, QSize wanted, QSize smallest)
{
    PlacementScene scene;
    QMargins frame = frameOf(window);
    const bool framed = !frame.isNull();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == &window || !w->isVisible() || w->property(kDeviceWindowProperty).toBool()
            || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
            continue;
        if (scene.windows.empty() && !framed)
            frame = frameOf(*w);
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
        return frame;
    scene.area = screen->availableGeometry();
    if (!wanted.isEmpty() && !smallest.isEmpty())
        window.resize(shrinkToStayClear(scene, wanted, smallest, frame));
    window.move(placeBeside(scene, window.size().grownBy(frame))); // a window's position is its frame's
    return frame;
}

// The window manager tells a window's frame only once it shows it, and may
// frame a device's window otherwise than the program's (with grips to resize
// it by): a window placed with a guess is placed again, once, with its own.
class FrameWatch final : public QObject {
public:
    FrameWatch(QWidget& window, QMargins assumed, QSize wanted, QSize smallest)
        : QObject(&window), window_(window), assumed_(assumed), wanted_(wanted), smallest_(smallest)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Move && event->type() != QEvent::Hide)
            return false;
        const QMargins own = frameOf(window_);
        if (event->type() == QEvent::Move && own.isNull())
            return false;
        window_.removeEventFilter(this);
        deleteLater();
        if (event->type() == QEvent::Move && own != assumed_)
            place(window_, wanted_, smallest_);
        return false;
    }

private:
    QWidget& window_;
    const QMargins assumed_;
    const QSize wanted_;
    const QSize smallest_;
};

} // namespace

// The user works the player from its main window: a device's window goes
// beside it, where it leaves the controls the window marks in view and hides
// least of it.
void placeBesideOtherWindows(QWidget& window, QSize wanted, QSize smallest)
{
    const QMargins assumed = place(window, wanted, smallest);
    if (frameOf(window).isNull())
        new FrameWatch(window, assumed, wanted, smallest);
}

void makeDeviceWindow(QWidget& window, bool takesKeyboard)
{
    window.setAttribute(Qt::WA_ShowWithoutActivating, !takesKeyboard);
    window.setAttribute(Qt::WA_QuitOnClose, false);
    window.setProperty(kDeviceWindowProperty, true);
}

void showOverWholeScreen(QWidget& window)
{
    window.showFullScreen();
    window.raise();
    window.activateWindow();
}

} // namespace mci
