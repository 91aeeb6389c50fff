#pragma once
// The Setup dialog: the three editor paths of the editor settings file, typed
// or browsed for, saved on OK.
#include "settings/editor_settings.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <string>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// The dialog's file-open dialog as the form sets it up. Running it goes
// through CHOOSER so that tests can answer it instead of a user.
struct TOpenDialog {
    using Chooser = std::function<std::optional<QString>(QWidget* owner, const TOpenDialog& dialog)>;

    QString Title;
    QString FileName;
    QString Filter = QStringLiteral("Programs|*.exe|All Files|*.*");
    Chooser chooser;

    // Runs the dialog; true with FileName set to the chosen full path when the
    // user confirms, false and FileName unchanged when they cancel.
    bool Execute(QWidget* owner);
};

// The real file-open dialog. On Linux programs carry no ".exe", so the
// "Programs" entry shows the executable files (and any "*.exe").
std::optional<QString> runOpenFileDialog(QWidget* owner, const TOpenDialog& dialog);

// "Programs|*.exe|All Files|*.*" in Qt's form: "Programs (*.exe)", "All Files (*)".
QStringList qtNameFilters(const QString& filter);

class TFormSetup : public QDialog {
    Q_OBJECT

public:
    // SETTINGS_FILE is the editor settings file; CHOOSER runs the file dialog
    // (empty: the real one).
    explicit TFormSetup(QWidget* owner = nullptr, editor_settings::Location settings = editor_settings::location(),
                        TOpenDialog::Chooser chooser = {});

    const std::string& settingsFile() const { return settings_.file; }

    QFrame* Bevel1; // frame around the three rows
    QLabel* Label1; // "MIDI - Editor:"
    QLabel* Label2; // "Wave - Editor:"
    QLabel* Label3; // "Avi - Editor:"
    QPushButton* BitBtn1; // OK: saves and closes
    QPushButton* BitBtn2; // Cancel
    QLineEdit* Edit1; // the MIDI editor
    QLineEdit* Edit2; // the wave editor
    QLineEdit* Edit3; // the video editor
    QPushButton* Button1; // ">>": browse for the MIDI editor
    QPushButton* Button2; // ">>": browse for the wave editor
    QPushButton* Button3; // ">>": browse for the video editor
    TOpenDialog OpenDialog1; // the file dialog the ">>" buttons run

    void FormCreate(QObject* sender);
    void Button1Click(QObject* sender);
    void Button2Click(QObject* sender);
    void Button3Click(QObject* sender);
    // Saves the three fields; raises ui::Exception when a key cannot be written.
    void BitBtn1Click(QObject* sender);

private:
    void createBevelAndLabels();
    void createButtons();
    void createEditRows();
    void browse(QLineEdit* edit, const QString& title);
    void okClicked();

    editor_settings::Location settings_;
    editor_settings::Stored loaded_[3]; // what the three rows showed when the dialog opened
};

// The most recently created Setup dialog.
extern QPointer<TFormSetup> FormSetup;

// Creates a fresh Setup dialog (any earlier hidden one is released), keeps it
// in FormSetup and shows it modally; returns the dialog's result.
int ShowSetupDialog();
