#include "framework/StdCtrls.h"

#include <QMouseEvent>

namespace vcl {

TScrollBar::TScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent)
{
    connect(this, &QAbstractSlider::actionTriggered, this, &TScrollBar::onAction);
    connect(this, &QAbstractSlider::sliderReleased, this, [this] {
        int pos = sliderPosition();
        emit scroll(TScrollCode::scPosition, pos);
        setSliderPosition(std::clamp(pos, minimum(), maximum()));
        int end = value();
        emit scroll(TScrollCode::scEndScroll, end);
    });
    connect(this, &QAbstractSlider::valueChanged, this, [this] { emit change(); });
}

void TScrollBar::onAction(int action)
{
    TScrollCode code;
    switch (action) {
    case SliderSingleStepSub: code = TScrollCode::scLineUp; break;
    case SliderSingleStepAdd: code = TScrollCode::scLineDown; break;
    case SliderPageStepSub: code = TScrollCode::scPageUp; break;
    case SliderPageStepAdd: code = TScrollCode::scPageDown; break;
    case SliderToMinimum: code = TScrollCode::scTop; break;
    case SliderToMaximum: code = TScrollCode::scBottom; break;
    case SliderMove: code = TScrollCode::scTrack; break;
    default: return;
    }
    // Qt has already computed the proposed position; the value follows it
    // right after this signal returns.
    int pos = sliderPosition();
    emit scroll(code, pos);
    setSliderPosition(std::clamp(pos, minimum(), maximum()));
}

void TLabel::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown();
    event->accept();
}

void TLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (rect().contains(event->position().toPoint()))
        emit click();
    emit mouseUp();
    event->accept();
}

} // namespace vcl
