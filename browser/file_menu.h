#pragma once
// The file list's context menu: edit the selected file in the editor set for
// its kind, copy, rename/move or delete it. It knows the controls it works
// on; what it needs of the player and of the settings it is handed.
#include <QList>
#include <QString>

#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QWidget;

namespace ui {
class DirectoryListBox;
class FileListBox;
class SaveDialog;
} // namespace ui

struct FileMenuControls {
    QWidget& owner; // of the message boxes
    ui::FileListBox& fileList;
    ui::DirectoryListBox& folders;
    QCheckBox& autoAdvance;
    ui::SaveDialog& saveDialog;
    QList<QAction*> fileItems; // the items that need a selected file
};

// What the menu asks of the rest of the player.
struct FileMenuHooks {
    std::function<void()> stopPlayer;
    std::function<void()> rewindPlayer;
    // The player lets go of its file by opening this one instead.
    std::function<void(const QString& file)> openInstead;
    // The editor set for a media file; empty when none is.
    std::function<std::string(const std::string& mediaFile)> editorFor;
    // The Setup dialog, modal.
    std::function<void()> setup;
};

class FileMenu {
public:
    FileMenu(FileMenuControls controls, FileMenuHooks hooks);

    // Before the menu shows: the file items only with a selected file.
    void aboutToShow();
    void editFile();
    void copyFile();
    void renameFile();
    void deleteFile();

private:
    // The save dialog over the selected file; false when the user cancels.
    bool askTarget(const QString& title);
    void handOverToNeighbour();
    void refreshKeepingIndex();

    FileMenuControls c_;
    FileMenuHooks hooks_;
};
