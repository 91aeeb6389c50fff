#pragma once
// The main window as the desktop link sees it. Every end of the player
// begins with a close of its window (a quit signal, the desktop's Quit, the
// user's own), which may slide first but is never turned down: its first
// close tells the link, which takes no more files from then on.
#include "app/desktop_link.h"

#include <QObject>

class TForm1;

class LinkedWindow : public QObject, public desktop_link::Window {
public:
    explicit LinkedWindow(TForm1& form);

    void raiseForUser() override;
    void comeForward() override;
    void close() override;

    // LINK hears of the window's first close; null: nobody does.
    void tell(desktop_link::DesktopLink* link) { link_ = link; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TForm1& form_;
    desktop_link::DesktopLink* link_ = nullptr;
};
