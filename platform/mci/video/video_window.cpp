#include "platform/mci/video/video_window.h"

#include <QCloseEvent>
#include <QPainter>

namespace mci::video {

VideoWindow::VideoWindow(const QString& title, QSize size) : QWidget(nullptr, Qt::Window)
{
    setWindowTitle(title);
    resize(size);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The player is worked from its main window: the video must neither take
    // the keyboard away from it nor end the program when closed last.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
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
    painter.drawImage(rect(), *frame_);
    if (onFramePainted)
        onFramePainted();
}

void VideoWindow::closeEvent(QCloseEvent* event)
{
    if (onUserClose)
        onUserClose();
    event->accept(); // hidden, not destroyed: the device still owns it
}

} // namespace mci::video
