#pragma once
// The device's own top-level window: it paints the picture on screen. The
// only widget below platform/.
#include <QImage>
#include <QWidget>

#include <functional>

namespace mci::video {

class VideoWindow final : public QWidget {
public:
    VideoWindow(const QString& title, QSize size);

    // FRAME stays valid and unchanged until the next call; null paints black.
    void showFrame(const QImage* frame);
    const QImage* frame() const { return frame_; }

    std::function<void()> onUserClose;
    std::function<void()> onFramePainted;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    const QImage* frame_ = nullptr;
};

} // namespace mci::video
