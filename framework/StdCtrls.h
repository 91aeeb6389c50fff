#pragma once
// Controls whose events Qt delivers differently from what the program expects.
#include <QLabel>
#include <QScrollBar>

namespace vcl {

enum class TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

// A scroll bar that reports each scroll event with its code and proposed
// position before the position is set (OnScroll may change it), and OnChange
// whenever the position has changed, also when the program sets it. Positions
// cover the full int range: a dragged thumb is never clamped to 16 bits.
class TScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit TScrollBar(QWidget* parent = nullptr);

    int Position() const { return value(); }
    void SetPosition(int position) { setValue(position); }
    void SetMax(int max) { setMaximum(max); }

signals:
    void scroll(vcl::TScrollCode code, int& position);
    void change();

private:
    void onAction(int action);
};

// A label whose mouse presses and releases are events of their own, and whose
// click comes before the release, as the program's logo needs.
class TLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void click();
    void mouseDown();
    void mouseUp();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace vcl
