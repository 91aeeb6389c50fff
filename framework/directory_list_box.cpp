#include "framework/file_controls.h"

#include "framework/errors.h"
#include "framework/file_controls_detail.h"
#include "framework/file_names.h"
#include "framework/guard.h"
#include "platform/fs/file_ops.h"
#include "platform/fs/volumes.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>

namespace ui {

using namespace file_controls_detail;

DirectoryListBox::DirectoryListBox(QWidget* parent) : QListWidget(parent), directory_(currentFolder())
{
    setUpListView(this, new RowDelegate(this));
}

void DirectoryListBox::setDirectory(const QString& path)
{
    if (path.isEmpty())
        return;
    QString folder = absoluteFolderPath(path);
    if (read_ && folder == directory_)
        return;
    if (exists(folder) && !isFolder(folder))
        folder = parentFolder(folder);
    readFolder(folder);
    emit change();
}

void DirectoryListBox::setDrive(const QString& mountPoint)
{
    if (mountPoint.isEmpty())
        return;
    const QString point = absoluteFolderPath(mountPoint);
    if (driveOf(directory_) == point)
        return;
    const QString target = text(volumes::rememberedFolder(bytes(point)));
    try {
        readFolder(target);
    } catch (const EInOutError&) {
        // The folder last visited there may be gone; the volume's root is not.
        if (target == point)
            throw;
        readFolder(point);
    }
    emit change();
}

QString DirectoryListBox::entryPath(int row) const
{
    const QListWidgetItem* entry = item(row);
    return entry ? entry->data(kPathRole).toString() : QString();
}

void DirectoryListBox::readFolder(const QString& folder)
{
    const QStringList subfolders = enterFolder(folder, volumes::EntryKind::Folders);

    const QString root = driveOf(folder);
    QStringList chain {root};
    QStringList chainPaths {root};
    if (folder != root) {
        const QString below = folder.mid(root == QStringLiteral("/") ? 1 : root.size() + 1);
        QString path = root;
        for (const QString& name : below.split(u'/', Qt::SkipEmptyParts)) {
            path = joinPath(path, name);
            chain.append(name);
            chainPaths.append(path);
        }
    }

    const QIcon open = glyph(Glyph::FolderOpen);
    const QIcon closed = glyph(Glyph::FolderClosed);
    setUpdatesEnabled(false);
    clear();
    for (qsizetype i = 0; i < chain.size(); ++i) {
        auto* entry = new QListWidgetItem(open, chain[i], this);
        entry->setData(kPathRole, chainPaths[i]);
        entry->setData(kLevelRole, int(i));
    }
    for (const QString& name : subfolders) {
        auto* entry = new QListWidgetItem(closed, name, this);
        entry->setData(kPathRole, joinPath(folder, name));
        entry->setData(kLevelRole, int(chain.size()));
    }
    setCurrentRow(int(chain.size() - 1), QItemSelectionModel::ClearAndSelect);
    setUpdatesEnabled(true);
    directory_ = folder;
    read_ = true;
}

void DirectoryListBox::openEntry(QListWidgetItem* entry)
{
    if (entry)
        setDirectory(entry->data(kPathRole).toString());
}

void DirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        guard([&] { openEntry(itemAt(event->position().toPoint())); });
    event->accept();
}

void DirectoryListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        guard([this] { openEntry(currentItem()); });
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirectoryListBox::showEvent(QShowEvent* event)
{
    if (!read_) {
        try {
            readFolder(directory_);
        } catch (const EInOutError&) {
            // An unreadable start folder shows nothing until the user moves on.
        }
    }
    QListWidget::showEvent(event);
}

} // namespace ui
