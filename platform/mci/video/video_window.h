#pragma once
// The device's own top-level window: it paints the picture on screen.
#include "platform/multimedia/choices.h"

#include <QImage>
#include <QWidget>

#include <functional>

namespace mci::video {

class VideoWindow final : public QWidget {
public:
    // SIZE is the video's own; the window shows it at the size chosen.
    VideoWindow(const QString& title, QSize size, multimedia::VideoSize shown = multimedia::VideoSize::Original);

    // Shows the window as chosen: at its size beside the program's other
    // windows (at double size, smaller where that would hide the program's
    // controls or not fit the screen), or over the whole screen.
    void present();
    // Playback reached the end: a full screen gives the screen back, a
    // window keeps the last picture.
    void playEnded();

    // Hides the window and lets the event loop delete it: it may be the one
    // Qt is activating or handing the focus right now.
    struct Disposer {
        void operator()(VideoWindow* window) const;
    };

    // FRAME stays valid and unchanged until the next call; null paints black.
    void showFrame(const QImage* frame);
    const QImage* frame() const { return frame_; }

    std::function<void()> onUserClose;
    std::function<void()> onFramePainted;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    const QImage* frame_ = nullptr;
    QSize videoSize_;
    bool fullScreen_ = false;
    bool doubled_ = false;
    bool placed_ = false;
};

} // namespace mci::video
