#pragma once
// What the three file controls share: their rows and small pictures, and
// paths crossing into the file layer as bytes.
#include <QIcon>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>

#include "platform/fs/volumes.h"

#include <string>
#include <vector>

namespace ui::file_controls_detail {

inline constexpr int kItemHeight = 16;
inline constexpr int kPathRole = Qt::UserRole;
inline constexpr int kLevelRole = Qt::UserRole + 1;

// Fixed row height, an optional picture before each entry and an indent
// by level for the folder chain.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setIcon(const QIcon& icon) { icon_ = icon; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kItemHeight);
        return size;
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!icon_.isNull()) {
            option->features |= QStyleOptionViewItem::HasDecoration;
            option->icon = icon_;
        }
        option->decorationSize = QSize(kItemHeight - 2, kItemHeight - 2);
        const int level = index.data(kLevelRole).toInt();
        if (level > 0)
            option->rect.adjust(level * 7, 0, 0, 0);
    }

private:
    QIcon icon_;
};

// The lists' own small pictures, drawn here: asking the desktop's icon theme
// for them costs several milliseconds of the window's start.
enum class Glyph { Document, FolderClosed, FolderOpen };
QIcon glyph(Glyph kind);

void setUpListView(QListWidget* view, RowDelegate* delegate);

// Paths cross into the file layer as bytes and come back as text.
std::string bytes(const QString& path);
QString text(const std::string& path);

QString currentFolder();
QString parentFolder(const QString& path);
QString joinPath(const QString& folder, const QString& name);
bool isFolder(const QString& path);
bool exists(const QString& path);
// A folder that may be listed and watched.
bool isReadableFolder(const QString& path);

// The entries of FOLDER, which becomes the process's current folder; a
// failure throws EInOutError with the system's error number and changes nothing.
QStringList enterFolder(const QString& folder, volumes::EntryKind kind, const volumes::NameMask* mask = nullptr);

} // namespace ui::file_controls_detail
