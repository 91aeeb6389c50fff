#pragma once
// The save-file dialog: an editable file name, no filter, no default
// extension, no overwrite prompt.
#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace ui {

class SaveDialog : public QObject {
    Q_OBJECT

public:
    explicit SaveDialog(QWidget* owner);

    QString title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }
    QString initialDir() const { return initialDir_; }
    void setInitialDir(const QString& folder) { initialDir_ = folder; }
    QString fileName() const { return fileName_; }
    void setFileName(const QString& name) { fileName_ = name; }

    // Runs the dialog; true when the user confirmed a name, which is then fileName().
    bool execute();

    // Tests answer file dialogs through this: it gets the dialog and returns
    // whether the user confirmed; it may change the file name.
    using Hook = std::function<bool(SaveDialog& dialog)>;
    static Hook setHook(Hook hook);

private:
    QWidget* owner_;
    QString title_;
    QString initialDir_;
    QString fileName_;
};

} // namespace ui
