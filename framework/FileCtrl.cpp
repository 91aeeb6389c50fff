#include "framework/FileCtrl.h"

#include "framework/sysutils.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QHash>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <mntent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vcl {

namespace {

constexpr int kItemHeight = 16;
constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;

// Length of the valid UTF-8 sequence at P (at most N bytes), 0 if invalid.
// Overlong forms, surrogates and code points past U+10FFFF are invalid, so
// that an escaped byte can never be confused with a decoded character.
int utf8SequenceLength(const unsigned char* p, qsizetype n, char32_t& codePoint)
{
    const unsigned char c = p[0];
    int length;
    char32_t min;
    if (c < 0x80) {
        codePoint = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        length = 2, min = 0x80, codePoint = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3, min = 0x800, codePoint = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, codePoint = c & 0x07;
    } else {
        return 0;
    }
    if (n < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (p[i] & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

bool isEscapedByte(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

QByteArray currentFolderBytes()
{
    QByteArray buffer(4096, Qt::Uninitialized);
    while (!getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return QByteArray("/");
        buffer.resize(buffer.size() * 2);
    }
    buffer.truncate(qsizetype(std::strlen(buffer.constData())));
    return buffer;
}

// The folder last made current on each volume, keyed by mount point.
QHash<QString, QString>& folderOfDrive()
{
    static QHash<QString, QString> folders;
    return folders;
}

void rememberFolder(const QString& folder) { folderOfDrive().insert(driveOf(folder), folder); }

QString rememberedFolder(const QString& mountPoint)
{
    const auto found = folderOfDrive().constFind(mountPoint);
    if (found != folderOfDrive().constEnd())
        return *found;
    // The folder the process started in is current on its volume.
    const QString start = decodeFileName(currentFolderBytes());
    return driveOf(start) == mountPoint ? start : mountPoint;
}

// Reads the entries of FOLDER that KEEP accepts and makes FOLDER the process's
// current folder. Both happen or neither: a failure throws EInOutError with
// the system's error number and leaves the process and the caller's state
// as they were.
template <typename Keep>
QStringList enterFolder(const QString& folder, Keep keep)
{
    const int fd = ::open(encodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError(errno);
    DIR* dir = fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        throw EInOutError(error);
    }
    QStringList names;
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        if (entry->d_name[0] != '.' && keep(fd, *entry))
            names.append(decodeFileName(QByteArray(entry->d_name)));
    }
    if (!error && fchdir(fd) != 0)
        error = errno;
    closedir(dir);
    if (error)
        throw EInOutError(error);
    rememberFolder(folder);
    return names;
}

// True when the entry is (or links to) something stat says passes TEST;
// d_type spares the stat for nearly every entry.
template <typename Test>
bool entryIs(int folderFd, const dirent& entry, unsigned char wanted, Test test)
{
    if (entry.d_type == wanted)
        return true;
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK)
        return false;
    struct stat st;
    return fstatat(folderFd, entry.d_name, &st, 0) == 0 && test(st.st_mode);
}

// Sorted by name without regard to case; names equal but for case keep a
// fixed order so that the list does not reshuffle between reads.
void sortNames(QStringList& names)
{
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(size_t(names.size()));
    for (const QString& name : names)
        keyed.emplace_back(name.toCaseFolded(), name);
    std::sort(keyed.begin(), keyed.end());
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = keyed[size_t(i)].second;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// The patterns of a mask. "*.ext" is by far the common form and is checked as
// a plain suffix; fnmatch in a UTF-8 locale converts every name to wide
// characters, which costs more than the whole rest of a listing.
class MaskMatcher {
public:
    explicit MaskMatcher(const QString& mask)
    {
        for (const QString& part : mask.split(u';')) {
            const QByteArray pattern = encodeFileName(part.trimmed());
            if (pattern.isEmpty())
                continue;
            Pattern p{pattern, {}, false};
            const QByteArray rest = pattern.mid(1);
            if (pattern.startsWith('*') && std::none_of(rest.begin(), rest.end(), [](char c) {
                    return c == '*' || c == '?' || c == '[' || c == '\\' || (unsigned char)c >= 0x80;
                })) {
                p.suffixOnly = true;
                for (char c : rest)
                    p.suffix.append(asciiLower(c));
            }
            patterns_.push_back(std::move(p));
        }
        if (patterns_.empty())
            patterns_.push_back({"*", {}, true});
    }

    bool matches(const char* name) const
    {
        const size_t length = std::strlen(name);
        for (const Pattern& p : patterns_) {
            if (p.suffixOnly ? hasSuffix(name, length, p.suffix)
                             : fnmatch(p.pattern.constData(), name, FNM_CASEFOLD) == 0)
                return true;
        }
        return false;
    }

private:
    struct Pattern {
        QByteArray pattern;
        QByteArray suffix;
        bool suffixOnly;
    };

    static bool hasSuffix(const char* name, size_t length, const QByteArray& suffix)
    {
        const size_t n = size_t(suffix.size());
        if (length < n)
            return false;
        const char* tail = name + length - n;
        for (size_t i = 0; i < n; ++i) {
            if (asciiLower(tail[i]) != suffix[qsizetype(i)])
                return false;
        }
        return true;
    }

    std::vector<Pattern> patterns_;
};

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

void setUpListView(QListWidget* view, RowDelegate* delegate)
{
    view->setItemDelegate(delegate);
    view->setUniformItemSizes(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setIconSize(QSize(kItemHeight - 2, kItemHeight - 2));
}

// Folder part of an absolute path; "/" for an entry of the root.
QString parentFolder(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString joinPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool isFolder(const QString& path)
{
    struct stat st;
    return ::stat(encodeFileName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const QString& path)
{
    struct stat st;
    return ::stat(encodeFileName(path).constData(), &st) == 0;
}

// Kinds of mount that hold no user files.
bool isPseudoFileSystem(const char* type)
{
    static const char* const pseudo[] = {
        "proc",     "sysfs",      "devtmpfs",   "devpts",   "tmpfs",       "ramfs",     "cgroup",
        "cgroup2",  "mqueue",     "debugfs",    "tracefs",  "securityfs",  "pstore",    "bpf",
        "hugetlbfs", "configfs",  "fusectl",    "binfmt_misc", "autofs",   "efivarfs",  "rpc_pipefs",
        "nsfs",     "selinuxfs",  "squashfs",   "overlay",  "fuse.gvfsd-fuse", "fuse.portal",
        "fuse.lxcfs", "nfsd",     "swap",       "none",     "devfs",
    };
    return std::any_of(std::begin(pseudo), std::end(pseudo),
                       [type](const char* p) { return std::strcmp(p, type) == 0; });
}

bool isSystemFolder(const QString& path)
{
    for (const char* prefix : {"/proc", "/sys", "/dev", "/etc", "/run", "/snap"}) {
        const QString p = QString::fromLatin1(prefix);
        if (path == p || path.startsWith(p + u'/'))
            return !path.startsWith(QStringLiteral("/run/media/"));
    }
    return false;
}

bool isUserVolume(const mntent& entry, const QString& mountPoint)
{
    if (mountPoint == QStringLiteral("/tmp"))
        return true;
    if (isPseudoFileSystem(entry.mnt_type) || isSystemFolder(mountPoint))
        return false;
    // Containers bind single files (/etc/hosts and the like) from real disks;
    // stat only local devices, a dead network server would hang it.
    if (std::strncmp(entry.mnt_fsname, "/dev/", 5) == 0)
        return isFolder(mountPoint);
    return true;
}

} // namespace

QString decodeFileName(const QByteArray& bytes)
{
    const QString fast = QString::fromUtf8(bytes);
    if (!fast.contains(QChar(QChar::ReplacementCharacter)))
        return fast;
    QString result;
    result.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        char32_t codePoint = 0;
        const int length = utf8SequenceLength(p + i, n - i, codePoint);
        if (length == 0) {
            result.append(QChar(char16_t(0xDC00 + p[i])));
            ++i;
        } else {
            result.append(QString::fromUcs4(&codePoint, 1));
            i += length;
        }
    }
    return result;
}

QByteArray encodeFileName(const QString& name)
{
    if (std::none_of(name.begin(), name.end(), [](QChar c) { return isEscapedByte(c.unicode()); }))
        return name.toUtf8();
    QByteArray result;
    result.reserve(name.size() * 3);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        const bool end = i == name.size();
        if (!end && !isEscapedByte(name[i].unicode()))
            continue;
        result.append(QStringView(name).mid(runStart, i - runStart).toUtf8());
        if (!end)
            result.append(char(name[i].unicode() - 0xDC00));
        runStart = i + 1;
    }
    return result;
}

QString absoluteFolderPath(const QString& path)
{
    QString absolute = path;
    if (!path.startsWith(u'/'))
        absolute = decodeFileName(currentFolderBytes()) + u'/' + path;
    QString clean = QDir::cleanPath(absolute);
    while (clean.startsWith(QStringLiteral("//")))
        clean.remove(0, 1);
    return clean.isEmpty() ? QStringLiteral("/") : clean;
}

static QByteArray& mountTablePath()
{
    static QByteArray path("/proc/self/mounts");
    return path;
}

void setMountTable(const QByteArray& path) { mountTablePath() = path; }

QStringList mountPoints() { return mountPoints(mountTablePath().constData()); }

QStringList mountPoints(const char* mountTable)
{
    QStringList points{QStringLiteral("/")};
    FILE* table = setmntent(mountTable, "r");
    if (!table)
        return points;
    mntent entry;
    std::vector<char> buffer(16384);
    while (getmntent_r(table, &entry, buffer.data(), int(buffer.size()))) {
        const QString point = decodeFileName(QByteArray(entry.mnt_dir));
        if (!point.startsWith(u'/') || points.contains(point) || !isUserVolume(entry, point))
            continue;
        points.append(point);
    }
    endmntent(table);
    std::sort(points.begin() + 1, points.end());
    return points;
}

QString driveOf(const QString& path) { return driveOf(path, mountPoints()); }

QString driveOf(const QString& path, const QStringList& points)
{
    const QString absolute = absoluteFolderPath(path);
    QString best = QStringLiteral("/");
    for (const QString& point : points) {
        if (point.size() > best.size() && (absolute == point || absolute.startsWith(point + u'/')))
            best = point;
    }
    return best;
}

// ---------------------------------------------------------------------------
// TFileListBox

TFileListBox::TFileListBox(QWidget* parent)
    : QListWidget(parent), directory_(decodeFileName(currentFolderBytes()))
{
    setUpListView(this, new RowDelegate(this));
}

QString TFileListBox::fileName() const
{
    const int index = itemIndex();
    return index < 0 ? QString() : joinPath(directory_, item(index)->text());
}

void TFileListBox::setFileName(const QString& path)
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

void TFileListBox::setDirectory(const QString& folder)
{
    if (folder.isEmpty())
        return;
    const QString absolute = absoluteFolderPath(folder);
    if (read_ && absolute == directory_)
        return;
    readFolder(absolute);
}

void TFileListBox::setMask(const QString& mask)
{
    if (mask == mask_)
        return;
    mask_ = mask;
    if (read_)
        readFolder(directory_);
}

void TFileListBox::setShowGlyphs(bool on)
{
    if (on == showGlyphs_)
        return;
    showGlyphs_ = on;
    static_cast<RowDelegate*>(itemDelegate())->setIcon(on ? style()->standardIcon(QStyle::SP_FileIcon) : QIcon());
    viewport()->update();
}

int TFileListBox::itemIndex() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TFileListBox::setItemIndex(int index)
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

QString TFileListBox::itemText(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry ? entry->text() : QString();
}

QStringList TFileListBox::itemTexts() const
{
    QStringList texts;
    texts.reserve(count());
    for (int i = 0; i < count(); ++i)
        texts.append(item(i)->text());
    return texts;
}

void TFileListBox::updateList() { readFolder(directory_); }

void TFileListBox::readFolder(const QString& folder)
{
    const MaskMatcher matcher(mask_);
    QStringList names = enterFolder(folder, [&matcher](int fd, const dirent& entry) {
        return matcher.matches(entry.d_name)
            && entryIs(fd, entry, DT_REG, [](mode_t mode) { return S_ISREG(mode); });
    });
    sortNames(names);

    setUpdatesEnabled(false);
    clear();
    addItems(names);
    setUpdatesEnabled(true);
    directory_ = folder;
    read_ = true;
    emit listed();
}

void TFileListBox::ensureRead()
{
    if (read_)
        return;
    try {
        readFolder(directory_);
    } catch (const EInOutError&) {
        // An unreadable start folder leaves the list empty; the user browses away.
    }
}

int TFileListBox::findEntry(const QString& name) const
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

void TFileListBox::mousePressEvent(QMouseEvent* event)
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

void TFileListBox::mouseMoveEvent(QMouseEvent* event)
{
    // Only a left drag moves the selection; the right button never does.
    if (!(event->buttons() & Qt::LeftButton)) {
        event->accept();
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void TFileListBox::mouseReleaseEvent(QMouseEvent* event)
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

void TFileListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first click has started the file already; a second start would
    // only restart it.
    event->accept();
}

void TFileListBox::keyPressEvent(QKeyEvent* event)
{
    const int before = itemIndex();
    QListWidget::keyPressEvent(event);
    const int after = itemIndex();
    if (after >= 0 && after != before)
        emit click();
}

void TFileListBox::contextMenuEvent(QContextMenuEvent* event)
{
    if (!popupMenu_) {
        event->ignore();
        return;
    }
    popupMenu_->popup(event->globalPos());
    event->accept();
}

void TFileListBox::showEvent(QShowEvent* event)
{
    ensureRead();
    QListWidget::showEvent(event);
}

// ---------------------------------------------------------------------------
// TDriveComboBox

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent)
{
    drive_ = vcl::driveOf(decodeFileName(currentFolderBytes()));
    refreshDrives();
    connect(this, &QComboBox::activated, this, &TDriveComboBox::userPicked);
}

void TDriveComboBox::refreshDrives()
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

void TDriveComboBox::setDrive(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString mountPoint = vcl::driveOf(path);
    if (currentIndex() >= 0 && mountPoint == drive_)
        return;
    select(mountPoint);
    emit change();
}

void TDriveComboBox::select(const QString& mountPoint)
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

void TDriveComboBox::userPicked(int index)
{
    const QString mountPoint = itemData(index).toString();
    if (mountPoint.isEmpty() || mountPoint == drive_)
        return;
    drive_ = mountPoint;
    emit change();
}

void TDriveComboBox::showPopup()
{
    refreshDrives();
    QComboBox::showPopup();
}

// ---------------------------------------------------------------------------
// TDirectoryListBox

TDirectoryListBox::TDirectoryListBox(QWidget* parent)
    : QListWidget(parent), directory_(decodeFileName(currentFolderBytes()))
{
    setUpListView(this, new RowDelegate(this));
}

void TDirectoryListBox::setDirectory(const QString& path)
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

void TDirectoryListBox::setDrive(const QString& mountPoint)
{
    if (mountPoint.isEmpty())
        return;
    const QString point = absoluteFolderPath(mountPoint);
    if (driveOf(directory_) == point)
        return;
    const QString target = rememberedFolder(point);
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

QString TDirectoryListBox::entryPath(int row) const
{
    const QListWidgetItem* entry = item(row);
    return entry ? entry->data(kPathRole).toString() : QString();
}

void TDirectoryListBox::readFolder(const QString& folder)
{
    QStringList subfolders = enterFolder(folder, [](int fd, const dirent& entry) {
        return entryIs(fd, entry, DT_DIR, [](mode_t mode) { return S_ISDIR(mode); });
    });
    sortNames(subfolders);

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

    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
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

void TDirectoryListBox::openEntry(QListWidgetItem* entry)
{
    if (entry)
        setDirectory(entry->data(kPathRole).toString());
}

void TDirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        openEntry(itemAt(event->position().toPoint()));
    event->accept();
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openEntry(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TDirectoryListBox::showEvent(QShowEvent* event)
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

} // namespace vcl
