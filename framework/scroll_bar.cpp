#include "framework/scroll_bar.h"

#include <QKeyEvent>
#include <QProxyStyle>
#include <QStyleOptionSlider>

#include <algorithm>

namespace ui {

namespace {

// Qt sizes the thumb by the large change; ours keeps the system's size and
// the style draws it at its smallest, which this style makes that size.
class FixedThumbStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_ScrollBarSliderMin)
            return ScrollBar::kThumbLength;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

ScrollBar::ScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent)
{
    auto* style = new FixedThumbStyle;
    style->setParent(this);
    setStyle(style);
    setFocusPolicy(Qt::StrongFocus);
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

void ScrollBar::initStyleOption(QStyleOptionSlider* option) const
{
    QScrollBar::initStyleOption(option);
    option->pageStep = 0; // the thumb's size only; a page still moves by pageStep()
}

// As a system scroll bar: Page Up and Left go towards the start.
void ScrollBar::keyPressEvent(QKeyEvent* event)
{
    SliderAction action = SliderNoAction;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        action = SliderSingleStepSub;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        action = SliderSingleStepAdd;
        break;
    case Qt::Key_PageUp:
        action = SliderPageStepSub;
        break;
    case Qt::Key_PageDown:
        action = SliderPageStepAdd;
        break;
    case Qt::Key_Home:
        action = SliderToMinimum;
        break;
    case Qt::Key_End:
        action = SliderToMaximum;
        break;
    default:
        QScrollBar::keyPressEvent(event);
        return;
    }
    triggerAction(action);
    event->accept();
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
