#pragma once
#include <QColor>
#include <QWidget>

namespace vcl {

// A filled ellipse, drawn behind other controls; it takes no input.
class TShape : public QWidget {
public:
    explicit TShape(QWidget* parent = nullptr);
    void SetBrushColor(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_ = Qt::white;
};

} // namespace vcl
