#include "framework/file_controls_detail.h"

#include "framework/drawn_icon.h"

#include <QPainter>

namespace ui::file_controls_detail {

namespace {

void drawGlyph(QPainter& p, Glyph kind, qreal scale)
{
    // Drawn aliased at 1; scaled, aliased one-pixel lines would come out
    // uneven, and the half-pixel shift keeps them on the pixels they cover at 1.
    if (scale != 1) {
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(0.5, 0.5);
    }
    const auto pen = [](const QColor& colour) {
        QPen pen(colour);
        pen.setJoinStyle(Qt::MiterJoin); // square corners, as at 1
        return pen;
    };
    p.setPen(pen(QColor(64, 64, 64)));
    if (kind == Glyph::Document) {
        const QPoint page[] = {{2, 0}, {8, 0}, {11, 3}, {11, 13}, {2, 13}};
        p.setBrush(Qt::white);
        p.drawPolygon(page, 5);
        p.drawPolyline(QPolygon({QPoint(8, 0), QPoint(8, 3), QPoint(11, 3)}));
        p.setPen(pen(QColor(128, 128, 128)));
        for (int y = 5; y <= 11; y += 2)
            p.drawLine(4, y, 9, y);
        return;
    }
    const QColor manila(240, 200, 80);
    const QPoint back[] = {{0, 2}, {5, 2}, {6, 4}, {12, 4}, {12, 12}, {0, 12}};
    p.setBrush(manila.darker(kind == Glyph::FolderOpen ? 115 : 100));
    p.drawPolygon(back, 6);
    if (kind == Glyph::FolderOpen) {
        const QPoint flap[] = {{2, 6}, {13, 6}, {11, 12}, {0, 12}};
        p.setBrush(manila);
        p.drawPolygon(flap, 4);
    }
}

} // namespace

QIcon glyph(Glyph kind)
{
    constexpr int size = kItemHeight - 2;
    return drawnIcon(QStringLiteral("list/%1").arg(int(kind)), QSize(size, size),
        [kind](QPainter& p, qreal scale) { drawGlyph(p, kind, scale); });
}

void setUpListView(QListWidget* view, RowDelegate* delegate)
{
    view->setItemDelegate(delegate);
    view->setUniformItemSizes(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setIconSize(QSize(kItemHeight - 2, kItemHeight - 2));
}

} // namespace ui::file_controls_detail
