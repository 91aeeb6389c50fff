#pragma once
// The Multimedia Properties panel: the sound output, the MIDI instrument (the
// built-in synthesizer with a soundfont, or an external synthesizer on an
// ALSA sequencer port) and the size of videos. The player starts it as a
// process of its own; what it stores the devices take at their next open.
#include "platform/midi/ports.h"
#include "platform/midi/soundfonts.h"
#include "platform/multimedia/stored_choices.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace midi {
class Player;
}

class TFormMultimedia : public QDialog {
    Q_OBJECT

public:
    // SOUNDFONT_FOLDERS: where installed soundfonts are looked for.
    explicit TFormMultimedia(QWidget* owner = nullptr,
                             std::vector<std::string> soundfontFolders = midi::soundfontFolders());
    ~TFormMultimedia() override;

    // What the controls show now.
    multimedia::Choices shownChoices() const;

    // Checks every choice that differs from the stored one and stores them
    // all. A bad one (a soundfont that does not load, a port that is not
    // there, a sound output that cannot be opened) is reported, its control
    // goes back to the stored choice, nothing is stored and false comes back.
    bool apply();

    // Plays a short phrase through the MIDI output the controls show.
    void test();

    // Runs the soundfont file dialog; tests answer it instead of a user.
    std::function<std::optional<QString>(QWidget* owner)> chooseSoundfont;

    QTabWidget* tabs;
    QComboBox* soundOutputBox;
    QLabel* soundOutputProblem;
    QPushButton* soundSettingsButton;
    QRadioButton* synthButton;
    QComboBox* soundfontBox;
    QPushButton* browseButton;
    QRadioButton* externalButton;
    QComboBox* portBox;
    QPushButton* refreshButton;
    QLabel* externalProblem;
    QSpinBox* settleBox;
    QPushButton* testButton;
    QCheckBox* wordsBox;
    QRadioButton* originalSizeButton;
    QRadioButton* doubleSizeButton;
    QRadioButton* fullScreenButton;
    QCheckBox* runningPlayerBox;
    QLabel* variablesNote;
    QPushButton* okButton;
    QPushButton* cancelButton;

private:
    // A line that says what is wrong, hidden while nothing is.
    static QLabel* problemLabel(QWidget* parent);
    QWidget* buildAudioPage();
    QWidget* buildMidiPage();
    void buildMidiControls(QGroupBox* group);
    QWidget* buildVideoPage();
    void buildButtons();
    void fillSoundOutputs();
    void fillSoundfonts();
    void fillPorts();
    void showChoices(const multimedia::Choices& choices);
    void showSoundOutput(const std::string& device);
    void showSoundfont(const std::string& path);
    void showPort(const multimedia::Choices& choices);
    void enableMidiControls();
    void browse();
    bool checkSoundOutput(const multimedia::Choices& shown);
    bool checkMidi(const multimedia::Choices& shown);
    void report(const std::string& text);

    std::vector<std::string> soundfontFolders_;
    multimedia::Choices stored_;
    std::vector<midi::Port> ports_;
    bool sequencerAvailable_ = false;
    std::shared_ptr<midi::Player> phrase_;
};

// Runs the panel as the whole of a process: shown until it is closed.
int runMultimediaPanel();
