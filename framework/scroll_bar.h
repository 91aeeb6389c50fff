#pragma once
// A horizontal scroll bar whose scroll events carry the scroll code and the
// proposed position, as the seek bar needs.
#include <QScrollBar>

namespace ui {

enum class ScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

// Reports each scroll event with its code and proposed position before the
// position is set (a handler of scroll may change it), and change whenever
// the position has changed, also when the program sets it. Positions cover
// the full int range: a dragged thumb is never clamped to 16 bits.
class ScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit ScrollBar(QWidget* parent = nullptr);

signals:
    void scroll(ui::ScrollCode code, int& position);
    void change();

private:
    void onAction(int action);
};

} // namespace ui
