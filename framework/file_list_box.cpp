#include "framework/file_controls.h"

#include "framework/errors.h"
#include "framework/file_controls_detail.h"
#include "framework/file_names.h"
#include "framework/guard.h"
#include "platform/fs/file_ops.h"
#include "platform/fs/volumes.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>

namespace ui {

using namespace file_controls_detail;

FileListBox::FileListBox(QWidget* parent)
    : QListWidget(parent), directory_(currentFolder()), watcher_(new QFileSystemWatcher(this))
{
    setUpListView(this, new RowDelegate(this));
    // A file manager or a download adds and removes files beside the ones
    // that play: the list, and what it tells the desktop, follows. A burst
    // of changes is read once; one that never settles (a download, a
    // recorder rotating its files) is still read every kFolderLongestWaitMs.
    settle_.setSingleShot(true);
    settle_.setInterval(kFolderSettleMs);
    longest_.setSingleShot(true);
    longest_.setInterval(kFolderLongestWaitMs);
    rewatch_.setInterval(kFolderRewatchMs);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        settle_.start();
        if (!longest_.isActive())
            longest_.start();
    });
    connect(&settle_, &QTimer::timeout, this, [this] { guard([this] { followFolder(); }); });
    connect(&longest_, &QTimer::timeout, this, [this] { guard([this] { followFolder(); }); });
    connect(&rewatch_, &QTimer::timeout, this, [this] { guard([this] { followFolder(); }); });
}

QString FileListBox::fileName() const
{
    const int index = itemIndex();
    return index < 0 ? QString() : joinPath(directory_, item(index)->text());
}

void FileListBox::setFileName(const QString& path)
{
    if (path.isEmpty() || path == fileName())
        return;
    const QString absolute = absoluteFolderPath(path);
    if (absolute == fileName())
        return;
    const bool folder = isFolder(absolute);
    const QString listFolder = folder ? absolute : parentFolder(absolute);
    if (!read_ || listFolder != directory_)
        readFolder(listFolder);
    if (folder)
        return;
    const int row = findEntry(absolute.mid(absolute.lastIndexOf(u'/') + 1));
    if (row >= 0)
        setItemIndex(row);
    else
        clearSelection();
}

void FileListBox::setDirectory(const QString& folder)
{
    if (folder.isEmpty())
        return;
    const QString absolute = absoluteFolderPath(folder);
    if (read_ && absolute == directory_)
        return;
    readFolder(absolute);
}

void FileListBox::setMask(const QString& mask)
{
    if (mask == mask_)
        return;
    mask_ = mask;
    if (read_)
        readFolder(directory_);
}

void FileListBox::setShowGlyphs(bool on)
{
    if (on == showGlyphs_)
        return;
    showGlyphs_ = on;
    static_cast<RowDelegate*>(itemDelegate())->setIcon(on ? glyph(Glyph::Document) : QIcon());
    viewport()->update();
}

int FileListBox::itemIndex() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void FileListBox::setItemIndex(int index)
{
    if (index < 0)
        index = -1;
    if (index == itemIndex() || index >= count())
        return;
    if (index < 0) {
        clearSelection();
        return;
    }
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    scrollToItem(item(index));
}

QString FileListBox::itemText(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry ? entry->text() : QString();
}

QStringList FileListBox::itemTexts() const
{
    QStringList texts;
    texts.reserve(count());
    for (int i = 0; i < count(); ++i)
        texts.append(item(i)->text());
    return texts;
}

void FileListBox::updateList()
{
    readFolder(directory_);
}

void FileListBox::readFolder(const QString& folder)
{
    const volumes::NameMask matcher(bytes(mask_));
    showEntries(folder, enterFolder(folder, volumes::EntryKind::Files, &matcher), QString());
}

void FileListBox::followFolder()
{
    settle_.stop();
    longest_.stop();
    if (!read_)
        return;
    watchFolder(directory_);
    const volumes::NameMask matcher(bytes(mask_));
    QStringList names;
    try {
        names = enterFolder(directory_, volumes::EntryKind::Files, &matcher);
    } catch (const EInOutError&) {
        // The folder went: its entries stay until the user browses away, as
        // a vanished volume's do, or until it is back.
        return;
    }
    if (names == itemTexts())
        return;
    const int selected = itemIndex();
    showEntries(directory_, names, selected < 0 ? QString() : item(selected)->text());
}

void FileListBox::showEntries(const QString& folder, const QStringList& names, const QString& keep)
{
    const int top = verticalScrollBar()->value();
    setUpdatesEnabled(false);
    clear();
    addItems(names);
    if (!keep.isEmpty()) {
        // The selection is the file that plays next by advance: it stays
        // with its name, wherever the others move it.
        const int row = names.indexOf(keep);
        if (row >= 0)
            setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        verticalScrollBar()->setValue(top);
    }
    setUpdatesEnabled(true);
    if (directory_ != folder || !watcher_->directories().contains(folder))
        watchFolder(folder);
    directory_ = folder;
    read_ = true;
    emit listed();
}

void FileListBox::watchFolder(const QString& folder)
{
    // Set up afresh each time: a folder removed and made again is another
    // one, whose changes the old watch never sees, and while the folder is
    // our current one the system does not even tell that it went. Its
    // parent sees it go and come back; where neither can be watched it is
    // looked for on a timer.
    if (!watcher_->directories().isEmpty())
        watcher_->removePaths(watcher_->directories());
    const QString parent = parentFolder(folder);
    if (parent != folder && isReadableFolder(parent))
        watcher_->addPath(parent);
    if (isReadableFolder(folder) && watcher_->addPath(folder))
        rewatch_.stop();
    else if (!rewatch_.isActive())
        rewatch_.start();
}

void FileListBox::ensureRead()
{
    if (read_)
        return;
    try {
        readFolder(directory_);
    } catch (const EInOutError&) {
        // An unreadable start folder leaves the list empty; the user browses away.
    }
}

int FileListBox::findEntry(const QString& name) const
{
    // Linux may hold a.mid and A.MID side by side: the exact name wins.
    int caseless = -1;
    for (int i = 0; i < count(); ++i) {
        const QString text = item(i)->text();
        if (text == name)
            return i;
        if (caseless < 0 && text.compare(name, Qt::CaseInsensitive) == 0)
            caseless = i;
    }
    return caseless;
}

void FileListBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        // The menu acts on the selected file: a right-click makes the entry
        // under the pointer that file (without starting it), or a file the
        // user never pointed at is deleted. Empty space keeps the selection.
        if (event->button() == Qt::RightButton)
            if (const QListWidgetItem* hit = itemAt(event->position().toPoint()))
                setItemIndex(row(hit));
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
    indexAtPress_ = itemIndex();
    // A click on the selected entry plays it again, as a user expects.
    if (indexAtPress_ >= 0 && itemAt(event->position().toPoint()))
        emit click();
}

void FileListBox::mouseMoveEvent(QMouseEvent* event)
{
    // Only a left drag moves the selection; the right button never does.
    if (!(event->buttons() & Qt::LeftButton)) {
        event->accept();
        return;
    }
    // Dragged out of the list, the entry goes as a file: onto a queue, a
    // file manager, another program.
    if (!rect().contains(event->position().toPoint()) && indexAtPress_ >= 0 && !fileName().isEmpty()) {
        indexAtPress_ = -1;
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromEncoded("file://" + encodeFileName(fileName()).toPercentEncoding("/"))});
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void FileListBox::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    // Dragging moved the selection: the entry let go on is the one to play.
    const int pressed = indexAtPress_;
    indexAtPress_ = -1;
    if (pressed >= 0 && itemIndex() >= 0 && itemIndex() != pressed)
        emit click();
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first click has started the file already; a second start would
    // only restart it.
    event->accept();
}

void FileListBox::keyPressEvent(QKeyEvent* event)
{
    // Shift+F10 is the menu key of keyboards without one.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QRect item = visualRect(currentIndex());
        const QPoint at = item.isValid() ? item.center() : QPoint(0, 0);
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at), event->modifiers());
        contextMenuEvent(&menu);
        return;
    }
    const int before = itemIndex();
    QListWidget::keyPressEvent(event);
    const int after = itemIndex();
    if (after >= 0 && after != before)
        emit click();
}

void FileListBox::contextMenuEvent(QContextMenuEvent* event)
{
    if (!popupMenu_) {
        event->ignore();
        return;
    }
    popupMenu_->popup(event->globalPos());
    event->accept();
}

void FileListBox::showEvent(QShowEvent* event)
{
    guard([this] { ensureRead(); });
    QListWidget::showEvent(event);
}

} // namespace ui
