#include "app/UnitSplash.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>

QPixmap splashPicture()
{
    // Drawn with the sixteen colours of the classic palette only.
    QPixmap pm(515, 341);
    pm.fill(QColor(0, 0, 128));
    QPainter p(&pm);
    for (int i = 0; i < 8; ++i) {
        p.fillRect(0, 40 + i * 34, 515, 17, i % 2 ? QColor(0, 0, 128) : QColor(0, 0, 255));
    }
    p.setPen(QPen(QColor(255, 255, 0), 3));
    p.setBrush(QColor(128, 128, 128));
    p.drawEllipse(QRect(150, 70, 215, 110));
    QFont big("Liberation Sans");
    big.setPixelSize(72);
    big.setBold(true);
    p.setFont(big);
    p.setPen(QColor(0, 0, 255));
    p.drawText(QRect(150, 70, 215, 110), Qt::AlignCenter, "QX");
    QFont title("Liberation Sans");
    title.setPixelSize(40);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRect(0, 200, 515, 50), Qt::AlignCenter, "Quorvana");
    QFont small("Liberation Sans");
    small.setPixelSize(14);
    p.setFont(small);
    p.setPen(QColor(0, 255, 255));
    p.drawText(QRect(0, 255, 515, 24), Qt::AlignCenter, "MIDI  \u2022  Wave  \u2022  Video");
    p.setPen(QColor(192, 192, 192));
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return pm;
}

TFormSplash::TFormSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName("FormSplash");
    setFixedSize(515, 341);
    auto* picture = new QLabel(this);
    picture->setGeometry(0, 0, 515, 341);
    picture->setPixmap(splashPicture());
    picture->setAccessibleName("Quorvana");
}

void TFormSplash::closeEvent(QCloseEvent* event)
{
    setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}
