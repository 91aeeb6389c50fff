#pragma once
#include <QColor>
#include <QWidget>

namespace ui {

// A filled ellipse, drawn behind other controls; it takes no input.
class Shape : public QWidget {
public:
    explicit Shape(QWidget* parent = nullptr);
    void setBrushColor(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_ = Qt::white;
};

} // namespace ui
