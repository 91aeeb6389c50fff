#include "framework/drawn_icon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <utility>

namespace ui {

namespace {

// Qt asks an icon for its pixmaps in device pixels, at every paint, with the
// ratio of the screen the widget is on: a pixmap for each size asked, drawn
// once and kept in the pixmap cache, follows a window from screen to screen.
class DrawnIconEngine final : public QIconEngine {
public:
    DrawnIconEngine(QString key, QSize size, Drawing draw) : key_(std::move(key)), size_(size), draw_(std::move(draw))
    {
    }

    QIconEngine* clone() const override { return new DrawnIconEngine(key_, size_, draw_); }
    QString key() const override { return QStringLiteral("ui::drawnIcon"); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {size_}; }
    bool isNull() override { return false; }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : qApp->devicePixelRatio();
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    // SIZE in device pixels; QIcon sets the ratio on the copy it hands out.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        if (size.isEmpty())
            return {};
        QString cacheKey
            = QStringLiteral("ui::drawnIcon/%1/%2x%3/%4").arg(key_).arg(size.width()).arg(size.height()).arg(int(mode));
        if (mode != QIcon::Normal)
            cacheKey += QStringLiteral("/%1").arg(QGuiApplication::palette().cacheKey());
        QPixmap pm;
        if (QPixmapCache::find(cacheKey, &pm))
            return pm;
        pm = mode == QIcon::Normal ? drawn(size) : styled(drawn(size), mode);
        QPixmapCache::insert(cacheKey, pm);
        return pm;
    }

private:
    QPixmap drawn(const QSize& size) const
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        const qreal scale = std::min(qreal(size.width()) / size_.width(), qreal(size.height()) / size_.height());
        p.scale(scale, scale);
        draw_(p, scale);
        return pm;
    }

    // The style's disabled or selected look, as a pixmap icon gets it.
    static QPixmap styled(const QPixmap& pm, QIcon::Mode mode)
    {
        QStyleOption option;
        option.palette = QGuiApplication::palette();
        const QPixmap generated = QApplication::style()->generatedIconPixmap(mode, pm, &option);
        return generated.isNull() ? pm : generated;
    }

    QString key_;
    QSize size_;
    Drawing draw_;
};

} // namespace

QIcon drawnIcon(const QString& key, QSize size, Drawing draw)
{
    return QIcon(new DrawnIconEngine(key, size, std::move(draw)));
}

} // namespace ui
