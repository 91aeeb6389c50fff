#include "framework/file_controls.h"

#include "framework/errors.h"
#include "framework/file_names.h"
#include "framework/guard.h"
#include "platform/fs/file_ops.h"
#include "platform/fs/volumes.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>

#include <algorithm>

namespace ui {

namespace {

constexpr int kItemHeight = 16;
constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;

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

QIcon glyph(Glyph kind)
{
    constexpr int size = kItemHeight - 2;
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(64, 64, 64));
    if (kind == Glyph::Document) {
        const QPoint page[] = {{2, 0}, {8, 0}, {11, 3}, {11, 13}, {2, 13}};
        p.setBrush(Qt::white);
        p.drawPolygon(page, 5);
        p.drawPolyline(QPolygon({QPoint(8, 0), QPoint(8, 3), QPoint(11, 3)}));
        p.setPen(QColor(128, 128, 128));
        for (int y = 5; y <= 11; y += 2)
            p.drawLine(4, y, 9, y);
        return QIcon(pm);
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
    return QIcon(pm);
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

// Paths cross into the file layer as bytes and come back as text.
std::string bytes(const QString& path) { return encodeFileName(path).toStdString(); }
QString text(const std::string& path) { return decodeFileName(path); }

QString currentFolder() { return text(volumes::currentFolder()); }
QString parentFolder(const QString& path) { return text(kernel::folderOf(bytes(path))); }
QString joinPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}
bool isFolder(const QString& path) { return volumes::isFolder(bytes(path)); }
bool exists(const QString& path) { return volumes::exists(bytes(path)); }

// Sorted by name without regard to case; names equal but for case keep a
// fixed order so that the list does not reshuffle between reads.
QStringList sortedNames(const std::vector<std::string>& found)
{
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(found.size());
    for (const std::string& name : found) {
        const QString decoded = text(name);
        keyed.emplace_back(decoded.toCaseFolded(), decoded);
    }
    std::sort(keyed.begin(), keyed.end());
    QStringList names;
    names.reserve(qsizetype(keyed.size()));
    for (auto& entry : keyed)
        names.append(std::move(entry.second));
    return names;
}

// The entries of FOLDER, which becomes the process's current folder; a
// failure throws EInOutError with the system's error number and changes nothing.
QStringList enterFolder(const QString& folder, volumes::EntryKind kind, const volumes::NameMask* mask = nullptr)
{
    std::vector<std::string> found;
    if (const int error = volumes::enterFolder(bytes(folder), kind, mask, found))
        throw EInOutError(error);
    return sortedNames(found);
}

} // namespace

QString absoluteFolderPath(const QString& path) { return text(volumes::absolutePath(bytes(path))); }

QStringList mountPoints()
{
    QStringList points;
    for (const std::string& point : volumes::mountPoints())
        points.append(text(point));
    return points;
}

QString driveOf(const QString& path) { return text(volumes::driveOf(bytes(path))); }

// ---------------------------------------------------------------------------
// FileListBox

FileListBox::FileListBox(QWidget* parent)
    : QListWidget(parent), directory_(currentFolder())
{
    setUpListView(this, new RowDelegate(this));
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

void FileListBox::updateList() { readFolder(directory_); }

void FileListBox::readFolder(const QString& folder)
{
    const volumes::NameMask matcher(bytes(mask_));
    const QStringList names = enterFolder(folder, volumes::EntryKind::Files, &matcher);

    setUpdatesEnabled(false);
    clear();
    addItems(names);
    setUpdatesEnabled(true);
    directory_ = folder;
    read_ = true;
    emit listed();
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
        // The right button only opens the menu; the selection stays.
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

// ---------------------------------------------------------------------------
// DriveComboBox

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent)
{
    drive_ = driveOf(currentFolder());
    refreshDrives();
    connect(this, &QComboBox::activated, this, guarded([this](int index) { userPicked(index); }));
}

void DriveComboBox::refreshDrives()
{
    QStringList points = mountPoints();
    // A volume unmounted while current stays listed until the user leaves it.
    if (!drive_.isEmpty() && !points.contains(drive_))
        points.append(drive_);
    const QSignalBlocker blocker(this);
    clear();
    for (const QString& point : points)
        addItem(point, point);
    setCurrentIndex(int(points.indexOf(drive_)));
}

void DriveComboBox::setDrive(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString mountPoint = driveOf(path);
    if (currentIndex() >= 0 && mountPoint == drive_)
        return;
    select(mountPoint);
    emit change();
}

void DriveComboBox::select(const QString& mountPoint)
{
    drive_ = mountPoint;
    int index = findData(mountPoint);
    if (index < 0) {
        refreshDrives();
        index = findData(mountPoint);
    }
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
}

void DriveComboBox::userPicked(int index)
{
    const QString mountPoint = itemData(index).toString();
    if (mountPoint.isEmpty() || mountPoint == drive_)
        return;
    drive_ = mountPoint;
    emit change();
}

void DriveComboBox::showPopup()
{
    refreshDrives();
    QComboBox::showPopup();
}

// ---------------------------------------------------------------------------
// DirectoryListBox

DirectoryListBox::DirectoryListBox(QWidget* parent)
    : QListWidget(parent), directory_(currentFolder())
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
    QStringList chain{root};
    QStringList chainPaths{root};
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
