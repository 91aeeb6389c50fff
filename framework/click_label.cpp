#include "framework/click_label.h"

#include <QMouseEvent>

namespace ui {

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown();
    event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (rect().contains(event->position().toPoint()))
        emit click();
    emit mouseUp();
    event->accept();
}

} // namespace ui
