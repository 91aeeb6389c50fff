#include "app/linked_window.h"

#include "app/main_window.h"
#include "framework/guard.h"

#include <QEvent>

LinkedWindow::LinkedWindow(TForm1& form) : QObject(&form), form_(form)
{
    form_.installEventFilter(this);
}

void LinkedWindow::raiseForUser()
{
    form_.raiseForUser();
}

void LinkedWindow::comeForward()
{
    form_.comeForward();
}

void LinkedWindow::close()
{
    form_.close();
}

bool LinkedWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &form_ && event->type() == QEvent::Close && link_)
        ui::guard([this] { link_->windowClosing(); });
    return QObject::eventFilter(watched, event);
}
