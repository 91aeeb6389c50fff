#include "framework/shape.h"

#include <QPainter>

namespace ui {

Shape::Shape(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::setBrushColor(const QColor& colour)
{
    brush_ = colour;
    update();
}

void Shape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(brush_);
    p.drawEllipse(rect().adjusted(0, 0, -1, -1));
}

} // namespace ui
