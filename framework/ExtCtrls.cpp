#include "framework/ExtCtrls.h"

#include <QPainter>

namespace vcl {

TShape::TShape(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TShape::SetBrushColor(const QColor& colour)
{
    brush_ = colour;
    update();
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(brush_);
    p.drawEllipse(rect().adjusted(0, 0, -1, -1));
}

} // namespace vcl
