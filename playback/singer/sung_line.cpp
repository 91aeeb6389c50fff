#include "playback/singer/sung_line.h"

#include <QEvent>
#include <QPainter>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace singer {

SungLine::SungLine(QWidget* parent, QPalette::ColorRole role) : QWidget(parent)
{
    setForegroundRole(role);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void SungLine::setLine(const QString& text, int sung)
{
    if (text != text_) {
        text_ = text;
        setAccessibleName(text_);
        height_ = layOut(layout_, width());
        updateGeometry();
    }
    sung_ = sung;
    update();
}

int SungLine::layOut(QTextLayout& layout, int width) const
{
    layout.setText(text_);
    layout.setFont(font());
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(width, 1));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return int(std::ceil(y));
}

int SungLine::heightForWidth(int width) const
{
    QTextLayout scratch;
    return layOut(scratch, width);
}

QSize SungLine::sizeHint() const
{
    return {width(), height_};
}

void SungLine::resizeEvent(QResizeEvent* event)
{
    height_ = layOut(layout_, width());
    QWidget::resizeEvent(event);
}

void SungLine::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        height_ = layOut(layout_, width());
        updateGeometry();
        update();
    }
    QWidget::changeEvent(event);
}

void SungLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    QTextLayout::FormatRange sung;
    sung.start = 0;
    sung.length = sung_;
    sung.format.setForeground(palette().color(QPalette::Highlight));
    layout_.draw(&painter, QPointF(0, (height() - height_) / 2), {sung});
}

} // namespace singer
