#pragma once
// The save-file dialog: an editable file name, no filter, no default
// extension, no overwrite prompt.
#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace vcl {

class TSaveDialog : public QObject {
    Q_OBJECT

public:
    explicit TSaveDialog(QWidget* owner);

    QString Title;
    QString InitialDir;
    QString FileName;

    // Runs the dialog; true when the user confirmed a name, which is then in FileName.
    bool Execute();

    // Tests answer file dialogs through this: it gets the dialog and returns
    // whether the user confirmed; it may change FileName.
    using Hook = std::function<bool(TSaveDialog& dialog)>;
    static Hook SetHook(Hook hook);

private:
    QWidget* owner_;
};

} // namespace vcl
