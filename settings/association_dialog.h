#pragma once
// The association dialog: shows what ".mid", ".rmi", ".wav" and ".avi" files
// open with, and on OK registers the player as the program that opens the
// checked kinds.
#include "settings/reg_file.h"

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

class TFormAssoc : public QDialog {
    Q_OBJECT

public:
    explicit TFormAssoc(QWidget* owner = nullptr);

    QLabel* Label1; // what the dialog does
    QGroupBox* GroupBox1; // the kinds to associate
    QCheckBox* CheckBoxMID; // .mid and .kar
    QCheckBox* CheckBoxRMI; // .rmi
    QCheckBox* CheckBoxWAV; // .wav and .wa~
    QCheckBox* CheckBoxAVI; // .avi
    QGroupBox* GroupBox2; // the programs that open them now
    QLabel* LabelMID; // the open command of .mid
    QLabel* LabelRMI; // of .rmi
    QLabel* LabelWAV; // of .wav
    QLabel* LabelAVI; // of .avi
    QPushButton* BitBtn1; // OK: associates and closes
    QPushButton* BitBtn2; // Cancel
    TRegFile* RegFile1; // reads and writes the registry

    // Fills the four status labels from the registry, each time the dialog
    // becomes the active window.
    void FormActivate(QObject* sender);
    // Writes the associations of the checked boxes.
    void BitBtn1Click(QObject* sender);

    // The program's full path at the moment the associations are written.
    std::function<std::string()> ModuleFileName;

protected:
    void changeEvent(QEvent* event) override;

private:
    void buildChoices();
    void buildStatus();
    void buildButtons();
    void showStatus(const std::string& extension, QLabel* label);
    void associate(const std::string& extension);
};

// The most recent association dialog.
extern TFormAssoc* FormAssoc;

// A fresh dialog in FormAssoc (all boxes checked); the one before is released.
TFormAssoc* CreateFormAssoc();

// What the main window's "Associate" button does: a fresh dialog, shown
// modally. What OK does happens inside the dialog.
void RunFormAssoc();
