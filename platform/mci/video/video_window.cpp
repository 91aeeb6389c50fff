#include "platform/mci/video/video_window.h"

#include "platform/mci/device_window.h"
#include "platform/mci/video/placement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace mci::video {

VideoWindow::VideoWindow(const QString& title, QSize size, multimedia::VideoSize shown)
    : QWidget(nullptr, Qt::Window), videoSize_(size), fullScreen_(shown == multimedia::VideoSize::FullScreen)
{
    setWindowTitle(title);
    resize(shown == multimedia::VideoSize::Double ? size * 2 : size);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The player is worked from its main window: a video in a window must
    // neither take the keyboard away from it nor end the program when closed
    // last. Over the whole screen it needs the keyboard, for Escape.
    setAttribute(Qt::WA_ShowWithoutActivating, !fullScreen_);
    setAttribute(Qt::WA_QuitOnClose, false);
    setProperty(kDeviceWindowProperty, true);
}

void VideoWindow::present()
{
    if (!fullScreen_) {
        if (!placed_)
            placeBesideOtherWindows();
        show();
        return;
    }
    showFullScreen();
    raise();
    activateWindow();
}

void VideoWindow::playEnded()
{
    if (fullScreen_)
        hide();
}

void VideoWindow::Disposer::operator()(VideoWindow* window) const
{
    window->onUserClose = nullptr;
    window->onFramePainted = nullptr;
    window->frame_ = nullptr;
    window->hide();
    window->deleteLater();
}

// The user works the player from its main window: the picture goes beside
// it, where it leaves the controls the window marks in view and covers least
// of it (nothing, given room); with no other window, in the middle of the
// screen.
void VideoWindow::placeBesideOtherWindows()
{
    placed_ = true;
    PlacementScene scene;
    QMargins frame;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isVisible() || w->property(kDeviceWindowProperty).toBool() || w->windowType() == Qt::Popup
            || w->windowType() == Qt::ToolTip)
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
    move(placeBeside(scene, size().grownBy(frame))); // a window's position is its frame's
}

void VideoWindow::showFrame(const QImage* frame)
{
    frame_ = frame;
    update();
}

void VideoWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!frame_) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Over the whole screen the picture keeps its shape, with black bars.
    QRect target = rect();
    if (fullScreen_ && !videoSize_.isEmpty()) {
        target.setSize(videoSize_.scaled(size(), Qt::KeepAspectRatio));
        target.moveCenter(rect().center());
        painter.fillRect(rect(), Qt::black);
    }
    painter.drawImage(target, *frame_);
    if (onFramePainted)
        onFramePainted();
}

void VideoWindow::closeEvent(QCloseEvent* event)
{
    if (onUserClose)
        onUserClose();
    event->accept(); // hidden, not destroyed: the device still owns it
}

// A full screen has no title bar to close it by.
void VideoWindow::keyPressEvent(QKeyEvent* event)
{
    if (fullScreen_ && event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}

void VideoWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (fullScreen_)
        close();
    else
        QWidget::mouseDoubleClickEvent(event);
}

} // namespace mci::video
