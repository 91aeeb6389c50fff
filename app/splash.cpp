#include "app/splash.h"

#include <QCloseEvent>
#include <QFile>
#include <QImageReader>
#include <QLabel>

QPixmap splashPicture()
{
    // A bitmap rather than a drawing: painting its large lettering at start
    // cost three times as long as reading it. Its format is known, so no
    // image plugin is loaded to find it out.
    QFile file(":/quorvana/splash.bmp");
    QImageReader reader(&file, "bmp");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read(), Qt::NoFormatConversion);
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
