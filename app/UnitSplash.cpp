#include "app/UnitSplash.h"

#include <QCloseEvent>
#include <QLabel>

QPixmap splashPicture()
{
    // A bitmap rather than a drawing: painting its large lettering at start
    // cost three times as long as reading it.
    return QPixmap(":/quorvana/splash.bmp", "BMP");
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
