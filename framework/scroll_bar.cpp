#include "framework/scroll_bar.h"

#include <algorithm>

namespace ui {

ScrollBar::ScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent)
{
    connect(this, &QAbstractSlider::actionTriggered, this, &ScrollBar::onAction);
    connect(this, &QAbstractSlider::sliderReleased, this, [this] {
        int pos = sliderPosition();
        emit scroll(ScrollCode::scPosition, pos);
        setSliderPosition(std::clamp(pos, minimum(), maximum()));
        int end = value();
        emit scroll(ScrollCode::scEndScroll, end);
    });
    connect(this, &QAbstractSlider::valueChanged, this, [this] { emit change(); });
}

void ScrollBar::onAction(int action)
{
    ScrollCode code;
    switch (action) {
    case SliderSingleStepSub: code = ScrollCode::scLineUp; break;
    case SliderSingleStepAdd: code = ScrollCode::scLineDown; break;
    case SliderPageStepSub: code = ScrollCode::scPageUp; break;
    case SliderPageStepAdd: code = ScrollCode::scPageDown; break;
    case SliderToMinimum: code = ScrollCode::scTop; break;
    case SliderToMaximum: code = ScrollCode::scBottom; break;
    case SliderMove: code = ScrollCode::scTrack; break;
    default: return;
    }
    // Qt has already computed the proposed position; the value follows it
    // right after this signal returns.
    int pos = sliderPosition();
    emit scroll(code, pos);
    setSliderPosition(std::clamp(pos, minimum(), maximum()));
}

} // namespace ui
