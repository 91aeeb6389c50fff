#pragma once
// The browser controls: drive combo box, directory list and file list. They
// never refer to each other; the main window keeps them in step.
#include <QByteArray>
#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <vector>

class QFileSystemWatcher;
class QMenu;

namespace ui {

// An absolute path without "." or ".." components, doubled or trailing "/"
// (except the root itself); a relative path is taken from the current folder.
QString absoluteFolderPath(const QString& path);

// A drive of the browser: the user's home and music folders, then the
// mounted volumes that hold user files, "/" first of those.
struct Drive {
    QString path;
    QString name; // "Home", the music folder's own name, or the mount point
};
QList<Drive> drives();

// The drive that holds PATH: the one whose folder is its longest prefix.
QString driveOf(const QString& path);

// The list of the files of one folder that a mask accepts.
class FileListBox : public QListWidget {
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    // Folder + "/" + selected entry; empty when nothing is selected.
    QString fileName() const;
    // A folder lists it unless it is listed already; a file lists its folder
    // likewise and selects its entry. Empty, or the selected file itself: nothing.
    void setFileName(const QString& path);

    QString directory() const { return directory_; }
    // Lists FOLDER unless it is listed already.
    void setDirectory(const QString& folder);

    QString mask() const { return mask_; }
    void setMask(const QString& mask);

    bool showGlyphs() const { return showGlyphs_; }
    void setShowGlyphs(bool on);

    // 0-based index of the selected entry, -1 for none. Setting the index it
    // has, or one past the last entry, changes nothing; -1 clears the selection.
    int itemIndex() const;
    void setItemIndex(int index);

    int count() const { return QListWidget::count(); }
    QString itemText(int index) const;
    QStringList itemTexts() const;

    // Reads the folder again with the current mask. The list also follows
    // its folder by itself, kFolderSettleMs after the last change but at
    // most kFolderLongestWaitMs after the first unread one, keeping the
    // selected entry by its name; a folder that went is followed again once
    // it is back.
    void updateList();
    static constexpr int kFolderSettleMs = 150;
    static constexpr int kFolderLongestWaitMs = 1000;
    static constexpr int kFolderRewatchMs = 1000;

    void setPopupMenu(QMenu* menu) { popupMenu_ = menu; }
    QMenu* popupMenu() const { return popupMenu_; }

signals:
    // The user selected an entry with the mouse or the keyboard.
    void click();
    // The folder was read and the entries replaced.
    void listed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void readFolder(const QString& folder);
    void followFolder();
    // KEEP: the entry to select among NAMES; empty selects none.
    void showEntries(const QString& folder, const QStringList& names, const QString& keep);
    void watchFolder(const QString& folder);
    void ensureRead();
    int findEntry(const QString& name) const;

    QString directory_;
    QString mask_ = QStringLiteral("*");
    bool showGlyphs_ = false;
    bool read_ = false;
    int indexAtPress_ = -1;
    QMenu* popupMenu_ = nullptr;
    QFileSystemWatcher* watcher_;
    QTimer settle_;
    QTimer longest_;
    QTimer rewatch_;
};

// The drives, each entry showing its name: the user's folders by their
// names, the volumes by their mount points.
class DriveComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit DriveComboBox(QWidget* parent = nullptr);

    // The folder of the current drive.
    QString drive() const { return drive_; }
    // Selects the drive of PATH and emits change, unless it is current already.
    void setDrive(const QString& path);

    // Reads the drives again, keeping the current one.
    void refreshDrives();

signals:
    void change();

protected:
    void showPopup() override;

private:
    void select(const QString& drive);
    void userPicked(int index);

    QString drive_;
};

// The chain of folders from the volume's root to the current folder,
// followed by the current folder's subfolders.
class DirectoryListBox : public QListWidget {
    Q_OBJECT

public:
    explicit DirectoryListBox(QWidget* parent = nullptr);

    QString directory() const { return directory_; }
    // A folder becomes current; an existing file makes its folder current.
    // Empty or the current folder: nothing. Emits change after reading it.
    void setDirectory(const QString& path);
    // Moves to the folder last made current on that volume (at first its
    // mount point), unless the current folder is on it already.
    void setDrive(const QString& mountPoint);

    // The folder an entry stands for.
    QString entryPath(int row) const;

signals:
    void change();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void readFolder(const QString& folder);
    void openEntry(QListWidgetItem* item);

    QString directory_;
    bool read_ = false;
};

} // namespace ui
