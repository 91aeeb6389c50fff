#pragma once
#include <QWidget>

// The picture shown while the main window is being built.
class TFormSplash : public QWidget {
public:
    explicit TFormSplash(QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
};

// The 515 x 341 splash picture, in sixteen colours.
QPixmap splashPicture();
