#include "platform/mci/video/video_window.h"

#include "platform/mci/device_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <array>

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
// it, to the right, left, below or above, wherever it covers least of it
// (nothing, given room); with no other window, in the middle of the screen.
void VideoWindow::placeBesideOtherWindows()
{
    placed_ = true;
    QRect others;
    QMargins frame;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isVisible() || w->property(kDeviceWindowProperty).toBool() || w->windowType() == Qt::Popup
            || w->windowType() == Qt::ToolTip)
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
    const QSize outer = size().grownBy(frame);
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
    move(chosen); // a window's position is its frame's
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
