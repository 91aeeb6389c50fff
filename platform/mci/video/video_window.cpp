#include "platform/mci/video/video_window.h"

#include "platform/mci/device_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace mci::video {

VideoWindow::VideoWindow(const QString& title, QSize size, multimedia::VideoSize shown)
    : QWidget(nullptr, Qt::Window), videoSize_(size), fullScreen_(shown == multimedia::VideoSize::FullScreen),
      doubled_(shown == multimedia::VideoSize::Double)
{
    setWindowTitle(title);
    resize(doubled_ ? size * 2 : size);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Over the whole screen it needs the keyboard, for Escape.
    makeDeviceWindow(*this, fullScreen_);
}

void VideoWindow::present()
{
    if (!fullScreen_) {
        if (!placed_) {
            placed_ = true;
            // At double size the picture may leave no room for the player's
            // controls: it gives up some of its size rather than hide them,
            // down to half its own, where a picture is hardly one any more.
            if (doubled_)
                placeBesideOtherWindows(*this, videoSize_ * 2, (videoSize_ / 2).expandedTo(QSize(1, 1)));
            else
                placeBesideOtherWindows(*this);
        }
        show();
        return;
    }
    showOverWholeScreen(*this);
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
