#pragma once
// A horizontal scroll bar whose scroll events carry the scroll code and the
// proposed position, as the seek bar needs.
#include <QScrollBar>

namespace ui {

enum class ScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

// Reports each scroll event with its code and proposed position before the
// position is set (a handler of scroll may change it), and change whenever
// the position has changed, also when the program sets it. Positions cover
// the full int range: a dragged thumb is never clamped to 16 bits. The thumb
// has one size whatever the range and the large change, and the bar takes
// the keyboard: arrows, Page Up/Down, Home and End.
class ScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit ScrollBar(QWidget* parent = nullptr);

    // The width of the thumb, the system's for every scroll bar.
    static constexpr int kThumbLength = 16;

signals:
    void scroll(ui::ScrollCode code, int& position);
    void change();

protected:
    void initStyleOption(QStyleOptionSlider* option) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onAction(int action);
};

} // namespace ui
