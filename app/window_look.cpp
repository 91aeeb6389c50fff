#include "app/window_look.h"

#include <QPainter>
#include <QPixmap>

namespace window_look {

QFont boldFont(int pixels, const char* family)
{
    QFont f(family);
    f.setPixelSize(pixels);
    f.setBold(true);
    return f;
}

void setColours(QWidget* w, const QColor& base, const QColor& text)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::Window, base);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::WindowText, text);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// The loudspeaker on the multimedia settings button.
QIcon speakerIcon()
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(QColor(128, 128, 128));
    const QPointF cone[] = {{3, 7}, {7, 7}, {12, 3}, {12, 17}, {7, 13}, {3, 13}};
    p.drawPolygon(cone, 6);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(10, 5, 6, 10), -60 * 16, 120 * 16);
    p.drawArc(QRectF(10, 2, 9, 16), -60 * 16, 120 * 16);
    return QIcon(pm);
}

} // namespace window_look
