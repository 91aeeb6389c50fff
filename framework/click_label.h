#pragma once
// A label whose mouse presses and releases are events of their own, and whose
// click comes before the release, as the program's logo needs.
#include <QLabel>

namespace ui {

class ClickLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void click();
    void mouseDown();
    void mouseUp();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace ui
